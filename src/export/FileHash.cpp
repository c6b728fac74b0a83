#include "export/FileHash.h"

#include <xxhash.h>

struct Xxh64::State {
    XXH64_state_t* state = XXH64_createState();
    ~State() { XXH64_freeState(state); }
};

Xxh64::Xxh64()
    : state_(std::make_unique<State>())
{
    XXH64_reset(state_->state, 0);
}

Xxh64::~Xxh64() = default;

void Xxh64::Add(const void* bytes, size_t size)
{
    XXH64_update(state_->state, bytes, size);
}

uint64_t Xxh64::Value() const
{
    return XXH64_digest(state_->state);
}

uint64_t Xxh64Of(const void* bytes, size_t size)
{
    return XXH64(bytes, size, 0);
}

QString Xxh64Hex(uint64_t value)
{
    return QStringLiteral("%1").arg(qulonglong(value), 16, 16, QLatin1Char('0'));
}

QByteArray Xxh64Bytes(uint64_t value)
{
    QByteArray bytes(8, '\0');
    for (int i = 7; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xff);
    return bytes;
}

std::optional<uint64_t> Xxh64FromHex(const QString& hex)
{
    if (hex.size() != 16)
        return std::nullopt;
    bool ok = false;
    const qulonglong value = hex.toULongLong(&ok, 16);
    return ok ? std::optional<uint64_t>(value) : std::nullopt;
}
