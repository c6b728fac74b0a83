#include "metadata/ExifWriter.h"

#include <cmath>

void TiffWriter::Append(QByteArray& out, uint32_t value, int width) const
{
    for (int i = 0; i < width; ++i) {
        const int shift = bigEndian_ ? 8 * (width - 1 - i) : 8 * i;
        out.append(char((value >> shift) & 0xFF));
    }
}

void TiffWriter::Add(Directory directory, uint16_t tag, uint16_t type, std::vector<uint32_t> elements)
{
    const uint32_t elementSize = TiffElementSize(type);
    const bool pairs = type == kTiffRational || type == kTiffSRational;
    const int width = pairs ? 4 : int(elementSize);
    Entry entry{tag, type, uint32_t(pairs ? elements.size() / 2 : elements.size()), {}};
    for (uint32_t value : elements)
        Append(entry.bytes, value, width);
    entries_[directory].push_back(std::move(entry));
}

void TiffWriter::AddAscii(Directory directory, uint16_t tag, const QByteArray& textWithTerminator)
{
    entries_[directory].push_back({tag, kTiffAscii, uint32_t(textWithTerminator.size()), textWithTerminator});
}

void TiffWriter::AddRationals(Directory directory, uint16_t tag, const std::vector<TTiffLongWordFraction>& values)
{
    std::vector<uint32_t> words;
    for (const TTiffLongWordFraction& value : values) {
        words.push_back(value.Numerator);
        words.push_back(value.Denominator);
    }
    Add(directory, tag, kTiffRational, std::move(words));
}

TiffWriter::Layout TiffWriter::Build() const
{
    auto directories = entries_;
    // Pointers first, so that IFD0's size is known before the offsets are.
    const uint16_t pointerTags[3] = {0, 0x8769, 0x8825};
    for (int d : {kExifIfd, kGpsIfd})
        if (!directories[d].empty())
            directories[kIfd0].push_back({pointerTags[d], kTiffLong, 1, QByteArray(4, 0)});
    for (auto& entries : directories)
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });

    Layout layout;
    uint32_t next = 8;
    for (int d = 0; d < 3; ++d) {
        if (directories[d].empty() && d != kIfd0)
            continue;
        layout.ifdOffsets[d] = next;
        next += 2 + 12 * uint32_t(directories[d].size()) + 4;
    }
    uint32_t dataAt = next;
    for (auto& entries : directories)
        for (Entry& entry : entries)
            if (entry.tag == pointerTags[kExifIfd] || entry.tag == pointerTags[kGpsIfd]) {
                entry.bytes.clear();
                Append(entry.bytes, layout.ifdOffsets[entry.tag == pointerTags[kExifIfd] ? kExifIfd : kGpsIfd], 4);
            }

    QByteArray& out = layout.tiff;
    out.append(bigEndian_ ? "MM" : "II");
    Append(out, 42, 2);
    Append(out, layout.ifdOffsets[kIfd0], 4);
    QByteArray data;
    for (int d = 0; d < 3; ++d) {
        if (layout.ifdOffsets[d] == 0)
            continue;
        Append(out, uint32_t(directories[d].size()), 2);
        for (const Entry& entry : directories[d]) {
            Append(out, entry.tag, 2);
            Append(out, entry.type, 2);
            Append(out, entry.count, 4);
            if (entry.bytes.size() <= 4) {
                out.append(entry.bytes);
                out.append(QByteArray(4 - entry.bytes.size(), 0));
            } else {
                Append(out, dataAt + uint32_t(data.size()), 4);
                data.append(entry.bytes);
                if (data.size() % 2)
                    data.append('\0'); // data starts on word boundaries
            }
        }
        Append(out, 0, 4); // no next directory
    }
    out.append(data);
    return layout;
}

GpsCoordinate GpsFromDegrees(double degrees, bool latitude, uint32_t secondsDenominator)
{
    GpsCoordinate coordinate;
    coordinate.ref = latitude ? (degrees < 0 ? 'S' : 'N') : (degrees < 0 ? 'W' : 'E');
    const double value = std::fabs(degrees);
    uint32_t whole = uint32_t(std::trunc(value));
    const double minutes = (value - whole) * 60.0;
    uint32_t wholeMinutes = uint32_t(std::trunc(minutes));
    uint64_t seconds = uint64_t(std::llround((minutes - wholeMinutes) * 60.0 * secondsDenominator));
    // Seconds that round up to a whole minute carry into the minutes (and those into degrees).
    if (seconds >= 60ULL * secondsDenominator) {
        seconds -= 60ULL * secondsDenominator;
        if (++wholeMinutes == 60) {
            wholeMinutes = 0;
            ++whole;
        }
    }
    coordinate.dms = {TTiffLongWordFraction{whole, 1}, TTiffLongWordFraction{wholeMinutes, 1},
                      TTiffLongWordFraction{uint32_t(seconds), secondsDenominator}};
    return coordinate;
}

QByteArray BuildExifApp1(const ExifFields& fields)
{
    TiffWriter writer(fields.bigEndian);
    if (fields.original)
        writer.AddAscii(TiffWriter::kExifIfd, 0x9003,
                        fields.original->toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1() + '\0');
    if (fields.digitized)
        writer.AddAscii(TiffWriter::kExifIfd, 0x9004,
                        fields.digitized->toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1() + '\0');
    if (fields.subSecDigitized)
        writer.AddAscii(TiffWriter::kExifIfd, 0x9292, *fields.subSecDigitized + '\0');
    const auto addCoordinate = [&](const std::optional<GpsCoordinate>& c, uint16_t refTag) {
        if (!c)
            return;
        writer.AddAscii(TiffWriter::kGpsIfd, refTag, QByteArray(1, c->ref) + '\0');
        writer.AddRationals(TiffWriter::kGpsIfd, uint16_t(refTag + 1), {c->dms.begin(), c->dms.end()});
    };
    if (fields.latitude || fields.longitude)
        writer.Add(TiffWriter::kGpsIfd, 0, kTiffByte, {2, 3, 0, 0}); // GPSVersionID 2.3
    addCoordinate(fields.latitude, 1);
    addCoordinate(fields.longitude, 3);
    return QByteArray("Exif\0\0", 6) + writer.Build().tiff;
}

QByteArray InsertApp1Segment(const QByteArray& jpeg, const QByteArray& app1Data)
{
    if (jpeg.size() < 2 || uchar(jpeg[0]) != 0xFF || uchar(jpeg[1]) != 0xD8 || app1Data.size() > 65533)
        return {};
    const int length = int(app1Data.size()) + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char(length >> 8)).append(char(length & 0xFF)).append(app1Data);
    return jpeg.left(2) + segment + jpeg.mid(2);
}
