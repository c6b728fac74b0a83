#pragma once
// Where the Exif reader takes its bytes from: an open file (read in windows, never whole) or a
// memory image of a file. Only the header segments of a JPEG are ever read.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace exif {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to n bytes from position pos; returns how many were there.
    virtual size_t ReadAt(uint64_t pos, uint8_t* destination, size_t n) = 0;
    virtual uint64_t Size() const = 0;
    // The whole content in memory (a mapping for files), or nullptr when that is impossible.
    virtual const uint8_t* Whole() = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t ReadAt(uint64_t pos, uint8_t* destination, size_t n) override;
    uint64_t Size() const override { return size_; }
    const uint8_t* Whole() override { return data_; }

private:
    const uint8_t* data_;
    size_t size_;
};

class FileSource : public ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Opens the file for reading; on failure returns false with the system's reason.
    bool Open(const QString& path, QString* reason);
    size_t ReadAt(uint64_t pos, uint8_t* destination, size_t n) override;
    uint64_t Size() const override;
    const uint8_t* Whole() override;

private:
    int fd_ = -1;
    mutable uint64_t size_ = 0;
    mutable bool sizeKnown_ = false;
    void* mapping_ = nullptr;
};

// Sequential reads over a source through a window of bytes, with seeks that cost nothing.
class StreamReader {
public:
    static constexpr size_t kWindowBytes = 64 * 1024;

    // Readers on one thread share one window: use one reader at a time per thread.
    explicit StreamReader(ByteSource& source);

    uint64_t Position() const { return position_; }
    void Seek(uint64_t position) { position_ = position; }
    void Skip(uint64_t bytes) { position_ += bytes; }
    // Reads exactly n bytes and advances; false (nothing advanced) when the source ends first.
    bool Read(uint8_t* destination, size_t n);
    bool ReadByte(uint8_t& value) { return Read(&value, 1); }
    // Reads without advancing.
    bool Peek(uint8_t* destination, size_t n);

private:
    ByteSource& source_;
    uint8_t* window_;
    size_t windowBytes_ = 0;
    uint64_t windowStart_ = 0;
    uint64_t position_ = 0;
};

} // namespace exif
