#pragma once
// The bounded queues between the reader, the decoders and the outputs. Each queue has its own
// mutex and condition; a flush bumps the packet queue's serial, and everything that carries an
// older serial is dropped by whoever meets it.

#include "playback/MediaLibraries.h"

#include "core/Relaxed.h"

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

class PacketQueue {
public:
    PacketQueue() = default;
    PacketQueue(const PacketQueue&) = delete;
    ~PacketQueue();

    // Takes over the packet's data (the caller's packet is left empty).
    int Put(AVPacket* pkt);
    // Queues an empty packet: the decoder drains its codec at the end of the input.
    int PutNullPacket(AVPacket* scratch, int streamIndex);
    // Blocks (when block) until a packet is there or the queue is aborted: 1 got, 0 none, -1 aborted.
    int Get(AVPacket* pkt, bool block, int* serial);
    void Flush(); // drops every packet and starts a new serial
    void Start(); // un-aborts and starts a new serial
    void Abort();

    int Packets() const;
    int Bytes() const;
    int64_t Duration() const;
    bool Aborted() const { return abortRequest.load(); }

    // Read without the lock by the decoders and clocks, written under it.
    Relaxed<int> serial{0};

private:
    struct Node {
        AVPacket* pkt;
        int serial;
    };
    mutable std::mutex lock; // guards nodes, bytes, duration and serial's writes
    std::condition_variable cond;
    std::deque<Node> nodes;
    int bytes = 0;
    int64_t duration = 0;
    std::atomic<bool> abortRequest{true};
};

// One decoded picture or sound buffer with its timing.
struct QueuedFrame {
    AVFrame* frame = nullptr;
    int serial = 0;
    double pts = 0;      // seconds
    double duration = 0; // seconds
    int64_t pos = -1;    // byte position in the input
    int width = 0;
    int height = 0;
    AVRational sar{0, 1};
    QImage hooked; // the picture as the video hook left it (empty when no hook ran)
};

class FrameQueue {
public:
    FrameQueue(PacketQueue* packets, int maxSize, bool keepLast);
    FrameQueue(const FrameQueue&) = delete;
    ~FrameQueue();

    // Waits for a free entry; nullptr when the packet queue was aborted.
    QueuedFrame* PeekWritable();
    void Push();
    // Waits for an entry to read; nullptr when aborted.
    QueuedFrame* PeekReadable();
    // The same, waiting at most timeoutMs; nullptr when none came in time.
    QueuedFrame* PeekReadableFor(int timeoutMs);
    QueuedFrame* Peek();     // the next entry to show
    QueuedFrame* PeekNext(); // the one after it
    QueuedFrame* PeekLast(); // the one shown last (keep-last queues)
    void Next();             // done with the entry at the read index
    int Remaining() const;   // entries not yet shown
    bool Shown() const { return rindexShown != 0; }
    void Signal();           // wakes waiters (after an abort)
    std::mutex& Mutex() { return lock; }

private:
    PacketQueue* packetQueue;
    const int maxSize;
    const bool keepLast;
    mutable std::mutex lock; // guards size and the indexes
    std::condition_variable cond;
    QueuedFrame queue[16];
    int rindex = 0;
    int windex = 0;
    int size = 0;
    Relaxed<int> rindexShown{0}; // written under the lock, read by Shown() without it
};
