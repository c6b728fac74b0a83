// Writes a few flight-log subtitle files into a folder as the fuzzer's starting corpus: the
// usual six-line entries, five-line entries, UTF-16 with a byte-order mark and CR line ends,
// the layouts of newer drones (bracketed fields, one telemetry line, latitude first), and logs
// as drones in the field write them (no fix for a while, unpadded dates, two recordings, no
// time lines).

#include <cstdio>
#include <string>

namespace {

// printf into a std::string.
template <typename... Args>
std::string Format(const char* format, Args... args)
{
    std::string text(static_cast<size_t>(std::snprintf(nullptr, 0, format, args...)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

// count entries, entry n written by entryOf(n).
template <typename EntryOf>
std::string Repeated(int count, EntryOf entryOf)
{
    std::string text;
    for (int n = 0; n < count; ++n)
        text += entryOf(n);
    return text;
}

std::string Entries(int count, bool blankLine, const char* lineEnd)
{
    return Repeated(count, [&](int n) {
        return Format("%d%s00:00:%02d,000 --> 00:00:%02d,000%sHOME(113.9484,22.5797) 2016.05.09 13:14:%02d%s"
                      "GPS(113.95%02d,-22.58%02d,16) BAROMETER:1.9%sISO:100 Shutter:60 EV: Fnum:F2.2%s%s",
                      n + 1, lineEnd, n, n + 1, lineEnd, n, lineEnd, n, n, lineEnd, lineEnd,
                      blankLine ? lineEnd : "");
    });
}

// Sub-second entries with bracketed fields, the first ones without a fix. With variants: spaced
// names, the "longtitude" misspelling, "SrtCnt", a comma before the milliseconds and the fields
// over two lines, after a byte-order mark.
std::string Bracketed(int count, bool variants)
{
    return (variants ? "\xEF\xBB\xBF" : "") + Repeated(count, [&](int n) {
        const int from = n * 33;
        const std::string position =
            n < 3 ? "[latitude: N/A] [longitude: N/A]"
                  : Format(variants ? "[latitude : -30.51%03d]\n[longtitude : -105.59%03d]"
                                    : "[latitude: 30.51%03d] [longitude: 105.59%03d]",
                           n, n);
        return Format("%d\n00:00:%02d,%03d --> 00:00:%02d,%03d\n<font size=\"28\">%s: %d, DiffTime: 33ms\n"
                      "2021-06-12 10:15:%02d%c%03d\n[iso: 100] [shutter: 1/640.0] [fnum: 2.8] [ev: 0] %s "
                      "[rel_alt: 12.300 abs_alt: 301.2] </font>\n\n",
                      n + 1, from / 1000, from % 1000, (from + 33) / 1000, (from + 33) % 1000,
                      variants ? "SrtCnt" : "FrameCnt", n + 1, 42 + from / 1000, variants ? ',' : '.', from % 1000,
                      position.c_str());
    });
}

// One telemetry line per entry with a home point.
std::string TelemetryLines(int count)
{
    return Repeated(count, [](int n) {
        return Format("%d\n00:00:%02d,000 --> 00:00:%02d,000\nHOME (8.6500, 49.8700, 105.2m) F/2.8, SS 500, "
                      "ISO 100, EV 0, GPS (8.65%02d, 49.87%02d, 19), D 24.5m, H 10.0m\n\n",
                      n + 1, n, n + 1, n, n);
    });
}

// Four-line entries with a date line, the position written latitude first.
std::string LatitudeFirst(int count)
{
    return Repeated(count, [](int n) {
        return Format("%d\n00:00:%02d,000 --> 00:00:%02d,000\n2019.08.14 10:22:%02d\nGPS(30.51%02d,105.59%02d,301M)\n",
                      n + 1, n, n + 1, n, n, n);
    });
}

// Six-line entries as drones in the field write them: seconds without a fix ("N/A"), dates not
// padded with zeros, and a second recording after the first.
std::string FieldSixLines(int count, int firstNumber)
{
    return Repeated(count, [&](int n) {
        const std::string position = n % 5 == 2 ? "N/A,N/A" : Format("113.95%02d,22.58%02d", n, n);
        return Format("%d\r\n00:00:%02d,000 --> 00:00:%02d,000\r\nHOME(113.9484,22.5797) 2017.8.5 14:11:%d\r\n"
                      "GPS(%s,16) BAROMETER:%d.5\r\nISO:100 Shutter:60 EV:0 Fnum:F2.2\r\n\r\n",
                      firstNumber + n, n, n + 1, n, position.c_str(), n);
    });
}

// Bracketed entries without time lines: an index, a date with frame counters, the fields.
std::string Untimed(int count)
{
    return Repeated(count, [](int n) {
        return Format("%d\n2017.08.05 14:11:%02d,393,525,393,525\n[iso : 100] [latitude: 22.54%02d] "
                      "[longtitude: 113.94%02d] [altitude: 46.%03d] \n\n",
                      n + 1, 51 + n / 2, n, n, n);
    });
}

std::string Utf16Le(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

bool Write(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = std::string(argv[1]) + '/';
    const bool ok = Write(folder + "six-lines.SRT", Entries(4, true, "\n"))
                    && Write(folder + "five-lines.SRT", Entries(4, false, "\r\n"))
                    && Write(folder + "utf16.SRT", Utf16Le(Entries(2, true, "\r\n")))
                    && Write(folder + "cr.SRT", "\xEF\xBB\xBF" + Entries(3, true, "\r"))
                    && Write(folder + "bracketed.SRT", Bracketed(40, false))
                    && Write(folder + "bracketed-variants.SRT", Bracketed(12, true))
                    && Write(folder + "telemetry.SRT", TelemetryLines(4))
                    && Write(folder + "latitude-first.SRT", LatitudeFirst(4))
                    && Write(folder + "field-six-lines.SRT", FieldSixLines(8, 1) + FieldSixLines(3, 9))
                    && Write(folder + "untimed.SRT", Untimed(6))
                    && Write(folder + "mixed.SRT", LatitudeFirst(2) + TelemetryLines(2) + Bracketed(5, false).substr(0, 700));
    return ok ? 0 : 1;
}
