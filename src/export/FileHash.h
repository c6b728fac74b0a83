#pragma once
// XXH64 (seed 0) of a stream of bytes, the checksum the export and its hash list use: fast
// enough to run while a copy is written and again when the copy is read back.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>

class Xxh64 {
public:
    Xxh64();
    ~Xxh64();
    Xxh64(const Xxh64&) = delete;
    Xxh64& operator=(const Xxh64&) = delete;

    void Add(const void* bytes, size_t size);
    // The hash of everything added so far.
    uint64_t Value() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The hash of bytes in memory.
uint64_t Xxh64Of(const void* bytes, size_t size);

// 16 lowercase hex digits of the big-endian value, as hash lists write it.
QString Xxh64Hex(uint64_t value);
// The 8 bytes of the big-endian value, as folder hashes combine them.
QByteArray Xxh64Bytes(uint64_t value);
// The value of 16 hex digits; nothing for anything else.
std::optional<uint64_t> Xxh64FromHex(const QString& hex);
