#include "JpegFixtures.h"
#include "metadata/TiffDirectory.h"

#include <gtest/gtest.h>

namespace {

// A little-endian block: header, then one directory at offset 8 with the given entries,
// each (tag, type, count, value field), and a declared entry count.
QByteArray Directory(uint16_t declaredCount, const std::vector<std::array<uint32_t, 4>>& entries, qsizetype tailBytes = 4)
{
    QByteArray block("II*\0\x08\0\0\0", 8);
    QByteArray count(2, 0);
    Patch16(count, 0, declaredCount, false);
    block.append(count);
    for (const auto& e : entries) {
        QByteArray entry(12, 0);
        Patch16(entry, 0, uint16_t(e[0]), false);
        Patch16(entry, 2, uint16_t(e[1]), false);
        Patch32(entry, 4, e[2], false);
        Patch32(entry, 8, e[3], false);
        block.append(entry);
    }
    return block + QByteArray(tailBytes, 0);
}

TExifSection Load(const QByteArray& block, uint64_t offset = 8)
{
    exif::TiffBlock tiff{reinterpret_cast<const uint8_t*>(block.constData()), size_t(block.size()), 0, false};
    TExifSection section;
    exif::LoadDirectory(tiff, offset, section);
    return section;
}

std::vector<uint16_t> Ids(const TExifSection& section)
{
    std::vector<uint16_t> ids;
    for (const TExifTag& tag : section.Tags)
        ids.push_back(tag.ID);
    return ids;
}

constexpr uint32_t kGood = kTiffLong;
constexpr uint32_t kBadType = 0;

TEST(TiffDirectory, EntriesAreSortedAndConvertedToHostOrder)
{
    const TExifSection s = Load(Directory(2, {{0x0110, kTiffShort, 2, 0x00020001}, {0x0100, kGood, 1, 4000}}));
    EXPECT_EQ(s.LoadErrors, 0u);
    ASSERT_EQ(Ids(s), (std::vector<uint16_t>{0x0100, 0x0110}));
    uint32_t width = 0;
    std::memcpy(&width, s.DataOf(s.Tags[0]), 4);
    EXPECT_EQ(width, 4000u);
    uint16_t shorts[2] = {};
    std::memcpy(shorts, s.DataOf(s.Tags[1]), 4);
    EXPECT_EQ(shorts[0], 1);
    EXPECT_EQ(shorts[1], 2);
    EXPECT_NE(s.Find(0x0110), nullptr);
    EXPECT_EQ(s.Find(0x0111), nullptr);
}

TEST(TiffDirectory, LoadingRulesForDamagedDirectories)
{
    struct Case {
        const char* name;
        QByteArray block;
        uint64_t offset;
        std::vector<uint16_t> ids;
        unsigned errors;
    };
    const Case cases[] = {
        {"countCutToWholeEntries", Directory(5, {{1, kGood, 1, 0}, {2, kGood, 1, 0}}, 6), 8, {1, 2}, leBadTagCount},
        {"directoryPastTheBlock", Directory(1, {{1, kGood, 1, 0}}), 4000, {}, leBadOffset},
        {"oneBadEntryIsKeptEmpty", Directory(3, {{1, kGood, 1, 0}, {2, kBadType, 1, 0}, {3, kGood, 1, 0}}), 8, {1, 2, 3}, leBadTagHeader},
        {"twoBadEntriesEndTheDirectory",
         Directory(4, {{1, kGood, 1, 0}, {2, kBadType, 1, 0}, {3, kBadType, 1, 0}, {4, kGood, 1, 0}}), 8, {1, 2},
         leBadTagHeader | leBadTagCount},
        {"badFirstEntryAfterACutCount", Directory(9, {{1, kBadType, 1, 0}, {2, kGood, 1, 0}}, 4), 8, {}, leBadTagCount | leBadTagHeader},
        {"dataOffsetPastTheBlock", Directory(2, {{1, kTiffAscii, 20, 0xFFFF}, {2, kGood, 1, 0}}), 8, {1, 2}, leBadTagHeader},
        {"dataOffsetInsideTheHeader", Directory(1, {{1, kTiffAscii, 20, 4}}, 40), 8, {1}, leBadTagHeader},
        {"countTooLargeForAnyBlock", Directory(1, {{1, kTiffRational, 0x20000000, 8}}), 8, {1}, leBadTagHeader},
    };
    for (const Case& c : cases) {
        const TExifSection s = Load(c.block, c.offset);
        EXPECT_EQ(Ids(s), c.ids) << c.name;
        EXPECT_EQ(s.LoadErrors, c.errors) << c.name;
        for (const TExifTag& tag : s.Tags)
            if (!tag.WellFormed)
                EXPECT_TRUE(tag.DataType == kTiffUndefined && tag.ElementCount == 0 && tag.DataBytes == 0) << c.name;
    }
}

TEST(TiffDirectory, TheHeaderTakesTheByteOrderFromTheMagicNumber)
{
    struct Case {
        const char* header;
        bool valid;
        bool bigEndian;
    };
    const Case cases[] = {
        {"II*\0", true, false}, {"MM\0*", true, true}, {"II\0*", true, true}, {"MM*\0", true, false},
        {"IM*\0", false, false}, {"II+\0", false, false},
    };
    for (const Case& c : cases) {
        bool bigEndian = !c.bigEndian;
        const bool valid = exif::ReadTiffHeader(reinterpret_cast<const uint8_t*>(c.header), 4, 0, bigEndian);
        EXPECT_EQ(valid, c.valid) << c.header;
        if (c.valid)
            EXPECT_EQ(bigEndian, c.bigEndian) << c.header;
    }
}

} // namespace
