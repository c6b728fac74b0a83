#include "metadata/ExifSource.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace exif {

namespace {
// One window per thread, reused from file to file: a fresh 64 KiB buffer for every photo
// would cost more in page faults than the parsing itself.
thread_local uint8_t threadWindow[StreamReader::kWindowBytes];
} // namespace

StreamReader::StreamReader(ByteSource& source)
    : source_(source)
    , window_(threadWindow)
{
}

size_t MemorySource::ReadAt(uint64_t pos, uint8_t* destination, size_t n)
{
    if (pos >= size_)
        return 0;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(n, size_ - pos));
    std::memcpy(destination, data_ + pos, count);
    return count;
}

FileSource::~FileSource()
{
    if (mapping_)
        munmap(mapping_, size_);
    if (fd_ >= 0)
        close(fd_);
}

bool FileSource::Open(const QString& path, QString* reason)
{
    fd_ = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

size_t FileSource::ReadAt(uint64_t pos, uint8_t* destination, size_t n)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t got = pread(fd_, destination + done, n - done, static_cast<off_t>(pos + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
    }
    return done;
}

uint64_t FileSource::Size() const
{
    if (!sizeKnown_) {
        struct stat info {};
        size_ = fstat(fd_, &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
        sizeKnown_ = true;
    }
    return size_;
}

const uint8_t* FileSource::Whole()
{
    if (!mapping_ && Size() > 0) {
        void* mapped = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
        if (mapped == MAP_FAILED)
            return nullptr;
        mapping_ = mapped;
    }
    return static_cast<const uint8_t*>(mapping_);
}

bool StreamReader::Peek(uint8_t* destination, size_t n)
{
    if (n == 0)
        return true; // an empty block may come with no buffer at all (memcpy must not see it)
    const uint64_t windowEnd = windowStart_ + windowBytes_;
    if (position_ < windowStart_ || position_ + n > windowEnd) {
        // Refill the window from the current position (a read larger than the window goes
        // straight to the source).
        if (n > kWindowBytes)
            return source_.ReadAt(position_, destination, n) == n;
        windowBytes_ = source_.ReadAt(position_, window_, kWindowBytes);
        windowStart_ = position_;
        if (n > windowBytes_)
            return false;
    }
    std::memcpy(destination, window_ + (position_ - windowStart_), n);
    return true;
}

bool StreamReader::Read(uint8_t* destination, size_t n)
{
    if (!Peek(destination, n))
        return false;
    position_ += n;
    return true;
}

} // namespace exif
