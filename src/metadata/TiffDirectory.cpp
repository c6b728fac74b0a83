#include "metadata/TiffDirectory.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {
constexpr uint32_t kElementSizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
constexpr size_t kEntryBytes = 12;
} // namespace

uint32_t TiffElementSize(uint16_t type)
{
    return type < 14 ? kElementSizes[type] : 0;
}

const TExifTag* TExifSection::Find(uint16_t id) const
{
    const auto it = std::lower_bound(Tags.begin(), Tags.end(), id,
                                     [](const TExifTag& tag, uint16_t wanted) { return tag.ID < wanted; });
    return (it != Tags.end() && it->ID == id) ? &*it : nullptr;
}

namespace exif {

uint16_t TiffBlock::U16(size_t at) const
{
    const uint8_t* p = data + at;
    return bigEndian ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
}

uint32_t TiffBlock::U32(size_t at) const
{
    const uint8_t* p = data + at;
    return bigEndian ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
                     : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
}

bool ReadTiffHeader(const uint8_t* data, size_t size, size_t base, bool& bigEndian)
{
    if (size < base + 4)
        return false;
    const uint8_t* p = data + base;
    const bool marked = (p[0] == 'I' && p[1] == 'I') || (p[0] == 'M' && p[1] == 'M');
    if (!marked)
        return false;
    // The magic number decides the byte order, whatever the mark says.
    if (p[2] == 0x2A && p[3] == 0x00)
        bigEndian = false;
    else if (p[2] == 0x00 && p[3] == 0x2A)
        bigEndian = true;
    else
        return false;
    return true;
}

namespace {

struct RawEntry {
    uint16_t tag;
    uint16_t type;
    int32_t count;
    size_t dataAt; // where the element bytes start in the block
    bool wellFormed;
};

RawEntry ReadEntry(const TiffBlock& block, size_t at)
{
    RawEntry entry{block.U16(at), block.U16(at + 2), int32_t(block.U32(at + 4)), at + 8, false};
    const uint32_t elementSize = TiffElementSize(entry.type);
    const uint64_t dataBytes = uint64_t(uint32_t(entry.count)) * elementSize;
    if (dataBytes > 4) {
        const uint64_t offset = block.U32(at + 8);
        if (offset >= 8 && block.base + offset + dataBytes <= block.size)
            entry.dataAt = static_cast<size_t>(block.base + offset);
        else
            entry.count = -1; // the data lies outside the block
    }
    // The product must also be a non-negative signed 32-bit number.
    entry.wellFormed = elementSize != 0 && entry.count >= 0 && dataBytes <= 0x7FFFFFFFu;
    return entry;
}

TExifTag MakeTag(const TiffBlock& block, const RawEntry& entry, std::vector<uint8_t>& data)
{
    TExifTag tag;
    tag.ID = entry.tag;
    if (!entry.wellFormed)
        return tag; // UNDEFINED with no elements: found by number, yields no value
    tag.DataType = entry.type;
    tag.ElementCount = entry.count;
    tag.WellFormed = true;
    const uint32_t elementSize = TiffElementSize(entry.type);
    const size_t bytes = size_t(entry.count) * elementSize;
    tag.DataOffset = uint32_t(data.size());
    tag.DataBytes = uint32_t(bytes);
    const uint8_t* from = block.data + entry.dataAt;
    data.insert(data.end(), from, from + bytes);
    // Convert to host order word by word: 2-byte words for the 16-bit types, 8-byte words
    // for DOUBLE, 4-byte words for everything else wider than a byte (a rational is two).
    const size_t word = elementSize == 1 ? 1 : (elementSize == 2 ? 2 : (entry.type == kTiffDouble ? 8 : 4));
    const bool swap = block.bigEndian != (std::endian::native == std::endian::big);
    if (word > 1 && swap) {
        uint8_t* to = data.data() + tag.DataOffset;
        for (size_t i = 0; i < bytes; i += word)
            std::reverse(to + i, to + i + word);
    }
    return tag;
}

} // namespace

void LoadDirectory(const TiffBlock& block, uint64_t offset, TExifSection& section)
{
    section.Clear();
    const uint64_t start = block.base + offset;
    if (start + 2 > block.size) {
        section.LoadErrors |= leBadOffset;
        return;
    }
    const uint64_t maxEntries = (block.size - start - 2) / kEntryBytes;
    uint64_t count = block.U16(static_cast<size_t>(start));
    if (count > maxEntries) {
        count = maxEntries;
        section.LoadErrors |= leBadTagCount;
    }

    std::vector<RawEntry> entries;
    entries.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) {
        const RawEntry entry = ReadEntry(block, static_cast<size_t>(start + 2 + i * kEntryBytes));
        if (!entry.wellFormed) {
            const bool previousBad = !entries.empty() && !entries.back().wellFormed;
            if (previousBad) {
                section.LoadErrors |= leBadTagCount;
                break; // keep the entries before this one
            }
            if (entries.empty() && (section.LoadErrors & leBadTagCount)) {
                section.LoadErrors |= leBadTagHeader;
                return; // a bad first entry after a cut count: nothing in this directory is trusted
            }
            section.LoadErrors |= leBadTagHeader;
        }
        entries.push_back(entry);
    }

    size_t dataBytes = 0;
    for (const RawEntry& entry : entries)
        if (entry.wellFormed)
            dataBytes += size_t(entry.count) * TiffElementSize(entry.type);
    section.Data.reserve(dataBytes);
    section.Tags.reserve(entries.size());
    for (const RawEntry& entry : entries)
        section.Tags.push_back(MakeTag(block, entry, section.Data));
    const auto byNumber = [](const TExifTag& a, const TExifTag& b) { return a.ID < b.ID; };
    if (!std::is_sorted(section.Tags.begin(), section.Tags.end(), byNumber)) // writers sort them already
        std::stable_sort(section.Tags.begin(), section.Tags.end(), byNumber);
}

} // namespace exif
