#pragma once
// The TIFF structure inside an Exif block: the header, and directories loaded tolerantly,
// noting what was wrong instead of failing.

#include <cstddef>
#include <cstdint>
#include <vector>

// TIFF data types 1..13 (13 = IFD).
enum TiffType : uint16_t {
    kTiffByte = 1, kTiffAscii = 2, kTiffShort = 3, kTiffLong = 4, kTiffRational = 5, kTiffSByte = 6,
    kTiffUndefined = 7, kTiffSShort = 8, kTiffSLong = 9, kTiffSRational = 10, kTiffFloat = 11,
    kTiffDouble = 12, kTiffIfd = 13,
};

// Bytes per element of a type; 0 for a type outside 1..13.
uint32_t TiffElementSize(uint16_t type);

// Problems noted while loading one directory.
enum TMetadataLoadError : unsigned {
    leBadOffset = 1u << 0,    // the directory lies outside the block
    leBadTagCount = 1u << 1,  // the entry count was cut, or two bad entries followed each other
    leBadTagHeader = 1u << 2, // an entry header was bad
};

struct TExifTag {
    uint16_t ID = 0;
    uint16_t DataType = kTiffUndefined;
    int32_t ElementCount = 0;
    bool WellFormed = false;
    uint32_t DataOffset = 0; // where the tag's bytes start in its section's Data
    uint32_t DataBytes = 0;
};

struct TExifSection {
    std::vector<TExifTag> Tags; // sorted by tag number
    unsigned LoadErrors = 0;    // TMetadataLoadError bits
    std::vector<uint8_t> Data;  // the tags' elements, converted to host byte order

    // The tag with this number, or nullptr.
    const TExifTag* Find(uint16_t id) const;
    // The first byte of a tag's elements.
    const uint8_t* DataOf(const TExifTag& tag) const { return Data.data() + tag.DataOffset; }
    void Clear() { Tags.clear(); Data.clear(); LoadErrors = 0; }
};

namespace exif {

// A TIFF block in memory: data[0 .. size) with the TIFF header at base.
struct TiffBlock {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t base = 0;
    bool bigEndian = false;

    uint16_t U16(size_t at) const;
    uint32_t U32(size_t at) const;
};

// Byte order from the header at block.base ("II"/"MM" mark required, order from the magic
// number); false when the header is not one.
bool ReadTiffHeader(const uint8_t* data, size_t size, size_t base, bool& bigEndian);

// Loads the directory at offset (relative to the base) into section.
void LoadDirectory(const TiffBlock& block, uint64_t offset, TExifSection& section);

} // namespace exif
