// Writes a few flight-log subtitle files into a folder as the fuzzer's starting corpus: the
// usual six-line entries, five-line entries, UTF-16 with a byte-order mark and CR line ends.

#include <cstdio>
#include <string>

namespace {

std::string Entries(int count, bool blankLine, const char* lineEnd)
{
    std::string text;
    for (int n = 0; n < count; ++n) {
        char entry[400];
        std::snprintf(entry, sizeof entry,
                      "%d%s00:00:%02d,000 --> 00:00:%02d,000%sHOME(113.9484,22.5797) 2016.05.09 13:14:%02d%s"
                      "GPS(113.95%02d,-22.58%02d,16) BAROMETER:1.9%sISO:100 Shutter:60 EV: Fnum:F2.2%s%s",
                      n + 1, lineEnd, n, n + 1, lineEnd, n, lineEnd, n, n, lineEnd, lineEnd,
                      blankLine ? lineEnd : "");
        text += entry;
    }
    return text;
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
                    && Write(folder + "cr.SRT", "\xEF\xBB\xBF" + Entries(3, true, "\r"));
    return ok ? 0 : 1;
}
