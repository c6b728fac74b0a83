#include "playback/MediaQueues.h"

namespace {
// A packet's node counts like the node record of the queue's byte limit.
constexpr int kNodeBytes = 88;
} // namespace

PacketQueue::~PacketQueue()
{
    Flush();
}

int PacketQueue::Put(AVPacket* pkt)
{
    AVPacket* own = Av().av_packet_alloc();
    if (!own) {
        Av().av_packet_unref(pkt);
        return -1;
    }
    Av().av_packet_move_ref(own, pkt);
    {
        std::lock_guard guard(lock);
        if (abortRequest) {
            Av().av_packet_free(&own);
            return -1;
        }
        nodes.push_back({own, serial});
        bytes += own->size + kNodeBytes;
        duration += own->duration;
    }
    cond.notify_all();
    return 0;
}

int PacketQueue::PutNullPacket(AVPacket* scratch, int streamIndex)
{
    scratch->stream_index = streamIndex;
    return Put(scratch);
}

int PacketQueue::Get(AVPacket* pkt, bool block, int* outSerial)
{
    std::unique_lock guard(lock);
    for (;;) {
        if (abortRequest)
            return -1;
        if (!nodes.empty()) {
            Node node = nodes.front();
            nodes.pop_front();
            bytes -= node.pkt->size + kNodeBytes;
            duration -= node.pkt->duration;
            Av().av_packet_move_ref(pkt, node.pkt);
            Av().av_packet_free(&node.pkt);
            if (outSerial)
                *outSerial = node.serial;
            return 1;
        }
        if (!block)
            return 0;
        cond.wait(guard);
    }
}

void PacketQueue::Flush()
{
    std::lock_guard guard(lock);
    for (Node& node : nodes)
        Av().av_packet_free(&node.pkt);
    nodes.clear();
    bytes = 0;
    duration = 0;
    ++serial;
}

void PacketQueue::Start()
{
    std::lock_guard guard(lock);
    abortRequest = false;
    ++serial;
}

void PacketQueue::Abort()
{
    {
        std::lock_guard guard(lock);
        abortRequest = true;
    }
    cond.notify_all();
}

int PacketQueue::Packets() const
{
    std::lock_guard guard(lock);
    return int(nodes.size());
}

int PacketQueue::Bytes() const
{
    std::lock_guard guard(lock);
    return bytes;
}

int64_t PacketQueue::Duration() const
{
    std::lock_guard guard(lock);
    return duration;
}

FrameQueue::FrameQueue(PacketQueue* packets, int maxSizeWanted, bool keep)
    : packetQueue(packets), maxSize(std::min(maxSizeWanted, 16)), keepLast(keep)
{
    for (int i = 0; i < maxSize; ++i)
        queue[i].frame = Av().av_frame_alloc();
}

FrameQueue::~FrameQueue()
{
    for (int i = 0; i < maxSize; ++i) {
        Av().av_frame_free(&queue[i].frame);
        queue[i].hooked = QImage();
    }
}

void FrameQueue::Signal()
{
    { std::lock_guard guard(lock); }
    cond.notify_all();
}

QueuedFrame* FrameQueue::PeekWritable()
{
    std::unique_lock guard(lock);
    cond.wait(guard, [&] { return size < maxSize || packetQueue->Aborted(); });
    if (packetQueue->Aborted())
        return nullptr;
    return &queue[windex];
}

void FrameQueue::Push()
{
    if (++windex == maxSize)
        windex = 0;
    {
        std::lock_guard guard(lock);
        ++size;
    }
    cond.notify_all();
}

QueuedFrame* FrameQueue::PeekReadable()
{
    std::unique_lock guard(lock);
    cond.wait(guard, [&] { return size - rindexShown > 0 || packetQueue->Aborted(); });
    if (packetQueue->Aborted())
        return nullptr;
    return &queue[(rindex + rindexShown) % maxSize];
}

QueuedFrame* FrameQueue::PeekReadableFor(int timeoutMs)
{
    std::unique_lock guard(lock);
    const bool ready = cond.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                     [&] { return size - rindexShown > 0 || packetQueue->Aborted(); });
    if (!ready || packetQueue->Aborted())
        return nullptr;
    return &queue[(rindex + rindexShown) % maxSize];
}

QueuedFrame* FrameQueue::Peek()
{
    return &queue[(rindex + rindexShown) % maxSize];
}

QueuedFrame* FrameQueue::PeekNext()
{
    return &queue[(rindex + rindexShown + 1) % maxSize];
}

QueuedFrame* FrameQueue::PeekLast()
{
    return &queue[rindex];
}

void FrameQueue::Next()
{
    if (keepLast && !rindexShown) {
        rindexShown = 1;
        return;
    }
    QueuedFrame& done = queue[rindex];
    Av().av_frame_unref(done.frame);
    done.hooked = QImage();
    if (++rindex == maxSize)
        rindex = 0;
    {
        std::lock_guard guard(lock);
        --size;
    }
    cond.notify_all();
}

int FrameQueue::Remaining() const
{
    std::lock_guard guard(lock);
    return size - rindexShown;
}
