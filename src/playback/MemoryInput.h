#pragma once
// The engine's in-memory input. The address "memory:<id>[:<private text>]" names a live
// TCustomEventStream whose events serve the bytes; the connection functions below are the
// protocol side the engine's custom I/O context calls on its reader thread.
//
// Locks: a process-wide mutex guards the table of live streams; each stream has a gate mutex
// that lets one of its events be in flight at a time and guards the event's stored arguments;
// a per-stream state mutex guards Opened/URLContext/PrivateData/Flags. Handlers are set before
// the stream is connected and are not guarded. A stream must not be destroyed from its own event.

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TCustomEventStream;

// true = ready to serve.
using TOpenEvent = std::function<bool(TCustomEventStream* sender, void* urlContext, const QString& privateData, int flags)>;
// Bytes placed in buffer, 0 at the end, negative on error.
using TReadEvent = std::function<int(TCustomEventStream* sender, void* buffer, int count)>;
// Bytes taken from buffer, negative on error.
using TWriteEvent = std::function<int(TCustomEventStream* sender, const void* buffer, int count)>;
// The new position, -1 on error.
using TSeekEvent = std::function<qint64(TCustomEventStream* sender, qint64 offset, TSeekOrigin origin)>;
using TCloseEvent = std::function<void(TCustomEventStream* sender)>;

struct MemoryConnection;

class TCustomEventStream {
public:
    TCustomEventStream();
    // Waits for an event in flight on another thread (serving hand-overs on the UI thread).
    ~TCustomEventStream();
    TCustomEventStream(const TCustomEventStream&) = delete;
    TCustomEventStream& operator=(const TCustomEventStream&) = delete;

    TOpenEvent OnOpen;
    TReadEvent OnRead;
    TWriteEvent OnWrite;
    TSeekEvent OnSeek;
    TCloseEvent OnClose;

    // Set by the connection functions.
    bool Opened() const;
    void* URLContext() const;
    QString PrivateData() const;
    int Flags() const; // 1 read, 2 write, 3 both

    // Events run on the UI thread (the default) or on the thread that raises them.
    std::atomic<bool> TriggerEventInMainThread{true};

    // Positive, unique among live streams; the <id> of the address.
    int Identity() const { return FIdentity; }
    // nullptr when no live stream has that identity.
    static TCustomEventStream* FindLive(int identity);

private:
    friend struct MemoryConnection;
    struct Gate;
    enum class EventKind { open, read, write, seek, close };
    // The arguments and result of the event in flight.
    struct PendingEvent {
        EventKind kind = EventKind::close;
        void* buffer = nullptr;
        const void* constBuffer = nullptr;
        int count = 0;
        qint64 offset = 0;
        TSeekOrigin origin = TSeekOrigin::soBeginning;
        qint64 result = 0;
    };

    // Called with the gate held.
    qint64 Raise(const PendingEvent& event);
    void RunPending();
    void SetConnected(void* urlContext, const QString& privateData, int flags);
    void SetOpened(bool value);

    const std::shared_ptr<Gate> FGate; // outlives the stream while a connection holds it
    int FIdentity = 0;
    PendingEvent FPending;

    mutable std::mutex FStateMutex;
    bool FOpened = false;
    void* FURLContext = nullptr;
    QString FPrivateData;
    int FFlags = 0;
};

// Owns one stream for its whole life and forwards to it.
class TMemoryAccessAdapter {
public:
    TCustomEventStream* Stream() { return &FStream; }
    const TCustomEventStream* Stream() const { return &FStream; }

    bool Opened() const { return FStream.Opened(); }
    void* URLContext() const { return FStream.URLContext(); }
    QString PrivateData() const { return FStream.PrivateData(); }
    int Flags() const { return FStream.Flags(); }

    bool TriggerEventInMainThread() const { return FStream.TriggerEventInMainThread; }
    void SetTriggerEventInMainThread(bool value) { FStream.TriggerEventInMainThread = value; }

    const TOpenEvent& OnOpen() const { return FStream.OnOpen; }
    void SetOnOpen(TOpenEvent handler) { FStream.OnOpen = std::move(handler); }
    const TReadEvent& OnRead() const { return FStream.OnRead; }
    void SetOnRead(TReadEvent handler) { FStream.OnRead = std::move(handler); }
    const TWriteEvent& OnWrite() const { return FStream.OnWrite; }
    void SetOnWrite(TWriteEvent handler) { FStream.OnWrite = std::move(handler); }
    const TSeekEvent& OnSeek() const { return FStream.OnSeek; }
    void SetOnSeek(TSeekEvent handler) { FStream.OnSeek = std::move(handler); }
    const TCloseEvent& OnClose() const { return FStream.OnClose; }
    void SetOnClose(TCloseEvent handler) { FStream.OnClose = std::move(handler); }

    // "memory:<id>", or "memory:<id>:<privateText>" when privateText is not empty.
    QString Address(const QString& privateText = {}) const;

    void* UserData = nullptr;

private:
    TCustomEventStream FStream;
};

struct MemoryAddress {
    int identity = 0;
    QString privateData;
};

// "memory:<id>[:<private text>]"; nullopt unless <id> is a non-zero decimal int.
std::optional<MemoryAddress> ParseMemoryAddress(const QString& address);

// The engine's own protocol list; "memory" is added once per process.
inline constexpr const char* kMemoryProtocolError =
    "Failed to register memory protocol. It requires several private APIs of ffmpeg libraries.";
// Throws std::runtime_error(kMemoryProtocolError) when the entry points are missing and
// allowMissing is false; false when missing and allowed.
bool RegisterMemoryProtocolWith(bool haveEntryPoints, bool allowMissing);
bool RegisterMemoryProtocol(bool allowMissing);
QStringList RegisteredProtocols();
bool IsProtocolRegistered(const QString& name);

// The protocol side, called on the engine's reader thread. Every call answers -1 once the
// stream is gone; an exception thrown by a handler counts as an error and never leaves.
MemoryConnection* OpenMemoryConnection(const QString& address, int flags, void* urlContext, int* result);
int MemoryRead(MemoryConnection* connection, uint8_t* buf, int size);
int MemoryWrite(MemoryConnection* connection, const uint8_t* buf, int size);
// whence: 0/1/2 in the low byte (force flag ignored), or AVSEEK_SIZE for the stream's size.
qint64 MemorySeek(MemoryConnection* connection, qint64 offset, int whence);
int CloseMemoryConnection(MemoryConnection* connection);
