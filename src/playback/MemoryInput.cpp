#include "playback/MemoryInput.h"

#include "core/UiHandover.h"

extern "C" {
#include <libavformat/avio.h>
}

#include <algorithm>
#include <climits>
#include <cstdio>
#include <stdexcept>
#include <type_traits>
#include <unordered_map>

// Lets one event of a stream be in flight; outlives the stream so that a connection left open
// finds it gone instead of touching freed memory.
struct TCustomEventStream::Gate {
    std::mutex mutex;                     // guards stream and the stream's FPending
    TCustomEventStream* stream = nullptr; // nullptr once the stream is destroyed
};

namespace {

// The live streams by identity.
struct LiveTable {
    std::mutex mutex; // guards streams and next
    std::unordered_map<int, TCustomEventStream*> streams;
    int next = 1; // identities are not reused soon, so a stale address does not reach a newer stream
};

LiveTable& Live()
{
    static LiveTable table;
    return table;
}

// On the UI thread a plain lock could wait for an event that is itself waiting for a hand-over
// to this thread, so the UI thread keeps serving hand-overs while it waits.
std::unique_lock<std::mutex> LockGate(std::mutex& mutex)
{
    std::unique_lock lock(mutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        if (UiHandover::OnUiThread())
            UiHandover::WaitServing([&] { return lock.try_lock(); });
        else
            lock.lock();
    }
    return lock;
}

const QString kScheme = QStringLiteral("memory:");

// Guards the engine's protocol list.
std::mutex protocolMutex;
QStringList& Protocols()
{
    static QStringList list;
    return list;
}

} // namespace

TCustomEventStream::TCustomEventStream() : FGate(std::make_shared<Gate>())
{
    FGate->stream = this;
    // Entered last: from here on other threads can find the stream.
    auto& live = Live();
    std::lock_guard lock(live.mutex);
    do {
        FIdentity = live.next;
        live.next = FIdentity == INT_MAX ? 1 : FIdentity + 1;
    } while (live.streams.contains(FIdentity));
    live.streams.emplace(FIdentity, this);
}

TCustomEventStream::~TCustomEventStream()
{
    {
        auto& live = Live();
        std::lock_guard lock(live.mutex);
        live.streams.erase(FIdentity);
    }
    auto lock = LockGate(FGate->mutex);
    FGate->stream = nullptr;
}

TCustomEventStream* TCustomEventStream::FindLive(int identity)
{
    auto& live = Live();
    std::lock_guard lock(live.mutex);
    const auto found = live.streams.find(identity);
    return found == live.streams.end() ? nullptr : found->second;
}

bool TCustomEventStream::Opened() const
{
    std::lock_guard lock(FStateMutex);
    return FOpened;
}

void* TCustomEventStream::URLContext() const
{
    std::lock_guard lock(FStateMutex);
    return FURLContext;
}

QString TCustomEventStream::PrivateData() const
{
    std::lock_guard lock(FStateMutex);
    return FPrivateData;
}

int TCustomEventStream::Flags() const
{
    std::lock_guard lock(FStateMutex);
    return FFlags;
}

void TCustomEventStream::SetConnected(void* urlContext, const QString& privateData, int flags)
{
    std::lock_guard lock(FStateMutex);
    FURLContext = urlContext;
    FPrivateData = privateData;
    FFlags = flags;
}

void TCustomEventStream::SetOpened(bool value)
{
    std::lock_guard lock(FStateMutex);
    FOpened = value;
}

qint64 TCustomEventStream::Raise(const PendingEvent& event)
{
    FPending = event;
    if (TriggerEventInMainThread)
        UiHandover::RunOnUiThread([this] { RunPending(); });
    else
        RunPending();
    return FPending.result;
}

void TCustomEventStream::RunPending()
{
    auto& e = FPending;
    switch (e.kind) {
    case EventKind::open:
        e.result = !OnOpen || OnOpen(this, URLContext(), PrivateData(), Flags());
        break;
    case EventKind::read:
        e.result = OnRead ? OnRead(this, e.buffer, e.count) : -1;
        break;
    case EventKind::write:
        e.result = OnWrite ? OnWrite(this, e.constBuffer, e.count) : -1;
        break;
    case EventKind::seek:
        e.result = OnSeek ? OnSeek(this, e.offset, e.origin) : -1;
        break;
    case EventKind::close:
        if (OnClose)
            OnClose(this);
        e.result = 0;
        break;
    }
}

QString TMemoryAccessAdapter::Address(const QString& privateText) const
{
    QString address = kScheme + QString::number(FStream.Identity());
    if (!privateText.isEmpty())
        address += u':' + privateText;
    return address;
}

std::optional<MemoryAddress> ParseMemoryAddress(const QString& address)
{
    const QString text = address.trimmed();
    if (!text.startsWith(kScheme, Qt::CaseInsensitive))
        return std::nullopt;
    const qsizetype idStart = kScheme.size();
    const qsizetype idEnd = text.indexOf(u':', idStart);
    const QStringView idText = QStringView(text).mid(idStart, idEnd < 0 ? -1 : idEnd - idStart);

    // A sign and ASCII digits only: toInt alone would also take surrounding blanks.
    const QStringView digits = idText.startsWith(u'-') || idText.startsWith(u'+') ? idText.mid(1) : idText;
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool ok = false;
    const int identity = idText.toInt(&ok, 10);
    if (!ok || identity == 0)
        return std::nullopt;
    return MemoryAddress{identity, idEnd < 0 ? QString() : text.mid(idEnd + 1)};
}

bool RegisterMemoryProtocolWith(bool haveEntryPoints, bool allowMissing)
{
    if (!haveEntryPoints) {
        if (!allowMissing)
            throw std::runtime_error(kMemoryProtocolError);
        return false;
    }
    std::lock_guard lock(protocolMutex);
    if (!Protocols().contains(QStringLiteral("memory")))
        Protocols().append(QStringLiteral("memory"));
    return true;
}

bool RegisterMemoryProtocol(bool allowMissing)
{
    return RegisterMemoryProtocolWith(true, allowMissing);
}

QStringList RegisteredProtocols()
{
    std::lock_guard lock(protocolMutex);
    return Protocols();
}

bool IsProtocolRegistered(const QString& name)
{
    std::lock_guard lock(protocolMutex);
    return Protocols().contains(name);
}

// Friend of the stream: raises its events with its gate held.
struct MemoryConnection {
    std::shared_ptr<TCustomEventStream::Gate> gate;
    void* urlContext = nullptr;
    int flags = 0;

    using Kind = TCustomEventStream::EventKind;

    // Runs action on the stream with its gate held. failed is the answer when the stream is
    // gone or a handler threw: nothing may unwind into FFmpeg.
    template <class Action>
    auto WithStream(Action action, std::invoke_result_t<Action, TCustomEventStream&> failed)
    {
        auto lock = LockGate(gate->mutex);
        if (!gate->stream)
            return failed;
        try {
            return action(*gate->stream);
        } catch (...) {
            return failed;
        }
    }

    static qint64 RaiseSeek(TCustomEventStream& stream, qint64 offset, TSeekOrigin origin)
    {
        return stream.Raise({.kind = Kind::seek, .offset = offset, .origin = origin});
    }

    static MemoryConnection* Open(const QString& address, int flags, void* urlContext, int& result)
    {
        result = -1;
        const auto parsed = ParseMemoryAddress(address);
        if (!parsed)
            return nullptr;
        std::shared_ptr<TCustomEventStream::Gate> gate;
        {
            auto& live = Live();
            std::lock_guard lock(live.mutex);
            const auto found = live.streams.find(parsed->identity);
            if (found == live.streams.end())
                return nullptr;
            gate = found->second->FGate;
        }
        auto connection = std::make_unique<MemoryConnection>(MemoryConnection{std::move(gate), urlContext, flags});
        const bool ready = connection->WithStream(
            [&](TCustomEventStream& stream) {
                stream.SetConnected(urlContext, parsed->privateData, flags);
                const bool accepted = stream.Raise({.kind = Kind::open}) != 0;
                stream.SetOpened(accepted);
                return accepted;
            },
            false);
        if (!ready)
            return nullptr;
        result = 0;
        return connection.release();
    }

    int Read(uint8_t* buf, int size)
    {
        if (!(flags & AVIO_FLAG_READ))
            return -1;
        return WithStream(
            [&](TCustomEventStream& stream) {
                return int(stream.Raise({.kind = Kind::read, .buffer = buf, .count = size}));
            },
            -1);
    }

    int Write(const uint8_t* buf, int size)
    {
        if (!(flags & AVIO_FLAG_WRITE))
            return -1;
        return WithStream(
            [&](TCustomEventStream& stream) {
                return int(stream.Raise({.kind = Kind::write, .constBuffer = buf, .count = size}));
            },
            -1);
    }

    qint64 Seek(qint64 offset, int whence)
    {
        if (whence & AVSEEK_SIZE) {
            // The size is where the end lies; the position is put back afterwards.
            return WithStream(
                [](TCustomEventStream& stream) -> qint64 {
                    const qint64 saved = RaiseSeek(stream, 0, TSeekOrigin::soCurrent);
                    if (saved < 0)
                        return -1;
                    const qint64 size = RaiseSeek(stream, 0, TSeekOrigin::soEnd);
                    RaiseSeek(stream, saved, TSeekOrigin::soBeginning);
                    return size;
                },
                -1);
        }
        TSeekOrigin origin;
        switch (whence & 0xFF) {
        case SEEK_SET: origin = TSeekOrigin::soBeginning; break;
        case SEEK_CUR: origin = TSeekOrigin::soCurrent; break;
        case SEEK_END: origin = TSeekOrigin::soEnd; break;
        default: return -1;
        }
        return WithStream([&](TCustomEventStream& stream) { return RaiseSeek(stream, offset, origin); }, -1);
    }

    void Close()
    {
        WithStream(
            [](TCustomEventStream& stream) {
                try {
                    stream.Raise({.kind = Kind::close});
                } catch (...) {
                    // closed all the same
                }
                stream.SetOpened(false);
                return 0;
            },
            0);
    }
};

MemoryConnection* OpenMemoryConnection(const QString& address, int flags, void* urlContext, int* result)
{
    int unused = 0;
    return MemoryConnection::Open(address, flags, urlContext, result ? *result : unused);
}

int MemoryRead(MemoryConnection* connection, uint8_t* buf, int size)
{
    return connection ? connection->Read(buf, size) : -1;
}

int MemoryWrite(MemoryConnection* connection, const uint8_t* buf, int size)
{
    return connection ? connection->Write(buf, size) : -1;
}

qint64 MemorySeek(MemoryConnection* connection, qint64 offset, int whence)
{
    return connection ? connection->Seek(offset, whence) : -1;
}

int CloseMemoryConnection(MemoryConnection* connection)
{
    const std::unique_ptr<MemoryConnection> owned(connection);
    if (owned)
        owned->Close();
    return 0;
}
