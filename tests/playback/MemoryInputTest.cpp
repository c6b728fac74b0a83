#include "playback/MemoryInput.h"
#include "core/UiHandover.h"

extern "C" {
#include <libavformat/avio.h>
}

#include <QBuffer>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

using ConnectionPtr = std::unique_ptr<MemoryConnection, decltype(&CloseMemoryConnection)>;

ConnectionPtr Connect(const QString& address, int flags, int* result = nullptr, void* urlContext = nullptr)
{
    return ConnectionPtr(OpenMemoryConnection(address, flags, urlContext, result), &CloseMemoryConnection);
}

QString AddressOf(const TCustomEventStream& stream)
{
    return QStringLiteral("memory:%1").arg(stream.Identity());
}

// Ends the test program when a section that must finish hangs instead: a hung hand-over
// would otherwise stall the whole run.
class Watchdog {
public:
    explicit Watchdog(const char* what)
        : thread([this, what] {
              std::unique_lock lock(mutex);
              if (!finished.wait_for(lock, 10s, [this] { return done; })) {
                  std::fprintf(stderr, "Hung: %s\n", what);
                  std::abort();
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        finished.notify_all();
        thread.join();
    }

private:
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread thread;
};

// Runs work on a thread of its own while this (UI) thread serves hand-overs.
void RunOnWorker(const std::function<void()>& work)
{
    Watchdog watchdog("worker");
    std::atomic<bool> done = false;
    std::thread worker([&] {
        work();
        done = true;
        UiHandover::WakeWaiter();
    });
    UiHandover::WaitServing([&] { return done.load(); });
    worker.join();
}

// A stream served from bytes in memory; logs its seeks.
struct BufferSource {
    TCustomEventStream stream;
    QByteArray bytes;
    QBuffer buffer{&bytes};
    std::vector<std::pair<qint64, TSeekOrigin>> seeks;

    explicit BufferSource(int size)
    {
        for (int i = 0; i < size; ++i)
            bytes.append(char(i * 7 + 3));
        buffer.open(QIODevice::ReadWrite);
        stream.OnRead = [this](TCustomEventStream*, void* data, int count) {
            return int(buffer.read(static_cast<char*>(data), count));
        };
        stream.OnWrite = [this](TCustomEventStream*, const void* data, int count) {
            return int(buffer.write(static_cast<const char*>(data), count));
        };
        stream.OnSeek = [this](TCustomEventStream*, qint64 offset, TSeekOrigin origin) -> qint64 {
            seeks.emplace_back(offset, origin);
            const qint64 base = origin == TSeekOrigin::soBeginning ? 0
                                : origin == TSeekOrigin::soCurrent ? buffer.pos()
                                                                   : buffer.size();
            return buffer.seek(base + offset) ? buffer.pos() : -1;
        };
    }
};

TEST(MemoryInputAddress, ParsesIdentityAndPrivateText)
{
    struct Case {
        const char* address;
        std::optional<int> identity;
        const char* privateData;
    };
    const Case cases[] = {
        {"memory:123", 123, ""},
        {"memory:123:a:b", 123, "a:b"},
        {"memory:123:", 123, ""},
        {"  memory:7:cam 1 \t", 7, "cam 1"},
        {"MEMORY:9", 9, ""},
        {"memory:007:x", 7, "x"},
        {"memory:+7", 7, ""},
        {"memory:2147483647", INT_MAX, ""},
        {"memory:-5:x", -5, "x"}, // no live stream has it, but it is a number
        {"memory:abc:x", std::nullopt, ""},
        {"memory:0", std::nullopt, ""},
        {"memory:-0", std::nullopt, ""},
        {"memory:", std::nullopt, ""},
        {"memory::x", std::nullopt, ""},
        {"memory:2147483648", std::nullopt, ""},
        {"memory:-2147483649", std::nullopt, ""},
        {"memory:99999999999999999999", std::nullopt, ""},
        {"memory: 12", std::nullopt, ""},
        {"memory:12 :x", std::nullopt, ""},
        {"memory:1.5", std::nullopt, ""},
        {"memory:0x10", std::nullopt, ""},
        {"memory:-", std::nullopt, ""},
        {"memory123", std::nullopt, ""},
        {"file:123", std::nullopt, ""},
        {"xmemory:1", std::nullopt, ""},
        {"", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const auto parsed = ParseMemoryAddress(QString::fromUtf8(c.address));
        ASSERT_EQ(parsed.has_value(), c.identity.has_value());
        if (parsed) {
            EXPECT_EQ(parsed->identity, *c.identity);
            EXPECT_EQ(parsed->privateData, QString::fromUtf8(c.privateData));
        }
    }
}

TEST(MemoryInputStream, IdentitiesAreUniqueWhileLive)
{
    std::vector<std::unique_ptr<TCustomEventStream>> streams;
    for (int i = 0; i < 20; ++i)
        streams.push_back(std::make_unique<TCustomEventStream>());
    for (size_t i = 0; i < streams.size(); ++i) {
        EXPECT_GT(streams[i]->Identity(), 0);
        EXPECT_EQ(TCustomEventStream::FindLive(streams[i]->Identity()), streams[i].get());
        for (size_t j = 0; j < i; ++j)
            EXPECT_NE(streams[i]->Identity(), streams[j]->Identity());
    }
    const int gone = streams.front()->Identity();
    streams.erase(streams.begin());
    EXPECT_EQ(TCustomEventStream::FindLive(gone), nullptr);
}

TEST(MemoryInputOpen, WithoutHandlerSucceedsAndCloseEndsIt)
{
    TCustomEventStream stream;
    int context = 0;
    int result = 1;
    MemoryConnection* connection = OpenMemoryConnection(AddressOf(stream), AVIO_FLAG_READ, &context, &result);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(stream.Opened());
    EXPECT_EQ(stream.URLContext(), &context);
    EXPECT_EQ(stream.PrivateData(), QString());
    EXPECT_EQ(stream.Flags(), AVIO_FLAG_READ);

    int closes = 0;
    stream.OnClose = [&](TCustomEventStream* sender) {
        EXPECT_EQ(sender, &stream);
        ++closes;
    };
    EXPECT_EQ(CloseMemoryConnection(connection), 0);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(stream.Opened());
}

TEST(MemoryInputOpen, TheHandlerSeesTheAddressAndDecides)
{
    for (const bool accept : {true, false}) {
        SCOPED_TRACE(accept);
        TCustomEventStream stream;
        int context = 0;
        std::vector<QString> seen;
        stream.OnOpen = [&](TCustomEventStream* sender, void* urlContext, const QString& privateData, int flags) {
            EXPECT_EQ(sender, &stream);
            EXPECT_EQ(urlContext, &context);
            EXPECT_EQ(flags, AVIO_FLAG_READ_WRITE);
            // The stream already holds what the event passes.
            EXPECT_EQ(sender->PrivateData(), privateData);
            EXPECT_FALSE(sender->Opened());
            seen.push_back(privateData);
            return accept;
        };
        int result = 1;
        auto connection = Connect(AddressOf(stream) + ":cam:1", AVIO_FLAG_READ_WRITE, &result, &context);
        EXPECT_EQ(seen, std::vector<QString>{"cam:1"});
        EXPECT_EQ(result, accept ? 0 : -1);
        EXPECT_EQ(connection != nullptr, accept);
        EXPECT_EQ(stream.Opened(), accept);
    }
}

TEST(MemoryInputOpen, RefusesAddressesWithoutALiveStream)
{
    auto destroyed = std::make_unique<TCustomEventStream>();
    const QString staleAddress = AddressOf(*destroyed);
    destroyed.reset();
    TCustomEventStream newer; // must not answer the address of the one before
    bool newerOpened = false;
    newer.OnOpen = [&](auto...) { return newerOpened = true; };

    for (const QString& address : {staleAddress, QStringLiteral("memory:abc"), QStringLiteral("memory:0"),
                                   QStringLiteral("memory:2147483646"), QStringLiteral("file:1")}) {
        SCOPED_TRACE(address.toStdString());
        int result = 0;
        EXPECT_EQ(Connect(address, AVIO_FLAG_READ, &result), nullptr);
        EXPECT_EQ(result, -1);
    }
    EXPECT_FALSE(newerOpened);
}

TEST(MemoryInputOpen, AConnectionOutlivingItsStreamFails)
{
    auto stream = std::make_unique<BufferSource>(16);
    auto connection = Connect(AddressOf(stream->stream), AVIO_FLAG_READ_WRITE);
    ASSERT_NE(connection, nullptr);
    stream.reset();
    uint8_t buf[4] = {};
    EXPECT_EQ(MemoryRead(connection.get(), buf, 4), -1);
    EXPECT_EQ(MemoryWrite(connection.get(), buf, 4), -1);
    EXPECT_EQ(MemorySeek(connection.get(), 0, SEEK_SET), -1);
    EXPECT_EQ(MemorySeek(connection.get(), 0, AVSEEK_SIZE), -1);
    EXPECT_EQ(CloseMemoryConnection(connection.release()), 0);
}

TEST(MemoryInputIo, ReadAndWriteFollowTheOpenFlags)
{
    struct Case {
        int flags;
        bool canRead;
        bool canWrite;
    };
    const Case cases[] = {
        {AVIO_FLAG_READ, true, false},
        {AVIO_FLAG_WRITE, false, true},
        {AVIO_FLAG_READ_WRITE, true, true},
        {0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        TCustomEventStream stream;
        int reads = 0;
        int writes = 0;
        stream.OnRead = [&](TCustomEventStream*, void*, int count) { return ++reads, count; };
        stream.OnWrite = [&](TCustomEventStream*, const void*, int count) { return ++writes, count; };
        auto connection = Connect(AddressOf(stream), c.flags);
        ASSERT_NE(connection, nullptr);
        uint8_t buf[8] = {};
        EXPECT_EQ(MemoryRead(connection.get(), buf, 8), c.canRead ? 8 : -1);
        EXPECT_EQ(MemoryWrite(connection.get(), buf, 8), c.canWrite ? 8 : -1);
        EXPECT_EQ(reads, c.canRead ? 1 : 0);
        EXPECT_EQ(writes, c.canWrite ? 1 : 0);
    }
}

TEST(MemoryInputIo, MissingHandlersFail)
{
    TCustomEventStream stream;
    auto connection = Connect(AddressOf(stream), AVIO_FLAG_READ_WRITE);
    ASSERT_NE(connection, nullptr);
    uint8_t buf[8] = {};
    EXPECT_EQ(MemoryRead(connection.get(), buf, 8), -1);
    EXPECT_EQ(MemoryWrite(connection.get(), buf, 8), -1);
    EXPECT_EQ(MemorySeek(connection.get(), 0, SEEK_SET), -1);
    EXPECT_EQ(MemorySeek(connection.get(), 0, AVSEEK_SIZE), -1);
}

TEST(MemoryInputIo, HandlerAnswersPassThroughUnchanged)
{
    // A large seek answer must not be cut to 32 bits on the way.
    for (const qint64 answer : {qint64(0), qint64(5), qint64(-1), qint64(-12345), qint64(1) << 40}) {
        SCOPED_TRACE(answer);
        TCustomEventStream stream;
        stream.OnRead = [&](TCustomEventStream*, void*, int) { return int(answer); };
        stream.OnWrite = [&](TCustomEventStream*, const void*, int) { return int(answer); };
        stream.OnSeek = [&](TCustomEventStream*, qint64, TSeekOrigin) { return answer; };
        auto connection = Connect(AddressOf(stream), AVIO_FLAG_READ_WRITE);
        uint8_t buf[8] = {};
        if (answer <= INT_MAX) {
            EXPECT_EQ(MemoryRead(connection.get(), buf, 8), answer);
            EXPECT_EQ(MemoryWrite(connection.get(), buf, 8), answer);
        }
        EXPECT_EQ(MemorySeek(connection.get(), 0, SEEK_SET), answer);
    }
}

TEST(MemoryInputIo, AThrowingHandlerIsAnError)
{
    TCustomEventStream stream;
    stream.OnRead = [](auto...) -> int { throw std::runtime_error("broken source"); };
    stream.OnClose = [](auto...) { throw std::runtime_error("broken source"); };
    auto connection = Connect(AddressOf(stream), AVIO_FLAG_READ);
    uint8_t buf[8] = {};
    EXPECT_EQ(MemoryRead(connection.get(), buf, 8), -1);
    EXPECT_EQ(CloseMemoryConnection(connection.release()), 0);
    EXPECT_FALSE(stream.Opened());
}

TEST(MemoryInputIo, ServesTheBytesOfItsSource)
{
    BufferSource source(64);
    auto connection = Connect(AddressOf(source.stream), AVIO_FLAG_READ_WRITE);
    QByteArray read(40, '\0');
    ASSERT_EQ(MemoryRead(connection.get(), reinterpret_cast<uint8_t*>(read.data()), 40), 40);
    EXPECT_EQ(read, source.bytes.left(40));
    EXPECT_EQ(MemoryRead(connection.get(), reinterpret_cast<uint8_t*>(read.data()), 40), 24);
    EXPECT_EQ(MemoryRead(connection.get(), reinterpret_cast<uint8_t*>(read.data()), 40), 0);

    const uint8_t patch[] = {0xAA, 0xBB};
    ASSERT_EQ(MemorySeek(connection.get(), 10, SEEK_SET), 10);
    EXPECT_EQ(MemoryWrite(connection.get(), patch, 2), 2);
    EXPECT_EQ(source.bytes.mid(10, 2), QByteArray("\xAA\xBB"));
}

TEST(MemoryInputSeek, SizeQuerySeeksToTheEndAndBack)
{
    using Seek = std::pair<qint64, TSeekOrigin>;
    for (const int whence : {AVSEEK_SIZE, AVSEEK_SIZE | AVSEEK_FORCE}) {
        SCOPED_TRACE(whence);
        BufferSource source(1000);
        auto connection = Connect(AddressOf(source.stream), AVIO_FLAG_READ);
        ASSERT_EQ(MemorySeek(connection.get(), 123, SEEK_SET), 123);
        source.seeks.clear();

        EXPECT_EQ(MemorySeek(connection.get(), 0, whence), 1000);
        const std::vector<Seek> expected = {
            {0, TSeekOrigin::soCurrent}, {0, TSeekOrigin::soEnd}, {123, TSeekOrigin::soBeginning}};
        EXPECT_EQ(source.seeks, expected);

        uint8_t next = 0;
        ASSERT_EQ(MemoryRead(connection.get(), &next, 1), 1);
        EXPECT_EQ(char(next), source.bytes.at(123));
    }
}

TEST(MemoryInputSeek, WhenceSelectsTheOrigin)
{
    struct Case {
        int whence;
        std::optional<TSeekOrigin> origin; // none: refused without an event
    };
    const Case cases[] = {
        {SEEK_SET, TSeekOrigin::soBeginning},
        {SEEK_CUR, TSeekOrigin::soCurrent},
        {SEEK_END, TSeekOrigin::soEnd},
        {SEEK_SET | AVSEEK_FORCE, TSeekOrigin::soBeginning},
        {SEEK_CUR | AVSEEK_FORCE, TSeekOrigin::soCurrent},
        {SEEK_END | AVSEEK_FORCE, TSeekOrigin::soEnd},
        {3, std::nullopt},
        {3 | AVSEEK_FORCE, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.whence);
        TCustomEventStream stream;
        std::vector<std::pair<qint64, TSeekOrigin>> seeks;
        stream.OnSeek = [&](TCustomEventStream*, qint64 offset, TSeekOrigin origin) -> qint64 {
            seeks.emplace_back(offset, origin);
            return 77;
        };
        auto connection = Connect(AddressOf(stream), AVIO_FLAG_READ);
        const qint64 answer = MemorySeek(connection.get(), -9, c.whence);
        if (c.origin) {
            EXPECT_EQ(answer, 77);
            EXPECT_EQ(seeks, (std::vector<std::pair<qint64, TSeekOrigin>>{{-9, *c.origin}}));
        } else {
            EXPECT_EQ(answer, -1);
            EXPECT_TRUE(seeks.empty());
        }
    }
}

TEST(MemoryInputProtocol, RegistersOnce)
{
    EXPECT_TRUE(RegisterMemoryProtocol(false));
    EXPECT_TRUE(RegisterMemoryProtocol(true));
    EXPECT_EQ(RegisteredProtocols().count(QStringLiteral("memory")), 1);
    EXPECT_TRUE(IsProtocolRegistered(QStringLiteral("memory")));
    EXPECT_FALSE(IsProtocolRegistered(QStringLiteral("file")));
}

TEST(MemoryInputProtocol, MissingEntryPointsFailUnlessAllowed)
{
    const QStringList before = RegisteredProtocols();
    EXPECT_FALSE(RegisterMemoryProtocolWith(false, true));
    try {
        RegisterMemoryProtocolWith(false, false);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), kMemoryProtocolError);
    }
    EXPECT_EQ(RegisteredProtocols(), before);
}

TEST(MemoryInputAdapter, ForwardsToItsStream)
{
    int id = 0;
    {
        TMemoryAccessAdapter adapter;
        TCustomEventStream* stream = adapter.Stream();
        id = stream->Identity();
        EXPECT_EQ(TCustomEventStream::FindLive(id), stream);
        EXPECT_EQ(adapter.Address(), QStringLiteral("memory:%1").arg(id));
        const auto parsed = ParseMemoryAddress(adapter.Address("cam:1"));
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->identity, id);
        EXPECT_EQ(parsed->privateData, "cam:1");

        EXPECT_TRUE(adapter.TriggerEventInMainThread());
        adapter.SetTriggerEventInMainThread(false);
        EXPECT_FALSE(stream->TriggerEventInMainThread);
        stream->TriggerEventInMainThread = true;
        EXPECT_TRUE(adapter.TriggerEventInMainThread());

        // Handlers set on the adapter are the ones the connection raises.
        QStringList raised;
        adapter.SetOnOpen([&](auto...) { return raised << "open", true; });
        adapter.SetOnRead([&](auto...) { return raised << "read", 1; });
        adapter.SetOnWrite([&](auto...) { return raised << "write", 1; });
        adapter.SetOnSeek([&](auto...) { return raised << "seek", qint64(1); });
        adapter.SetOnClose([&](auto...) { raised << "close"; });
        int context = 0;
        auto connection = Connect(adapter.Address("cam"), AVIO_FLAG_READ_WRITE, nullptr, &context);
        ASSERT_NE(connection, nullptr);
        EXPECT_TRUE(adapter.Opened());
        EXPECT_EQ(adapter.URLContext(), &context);
        EXPECT_EQ(adapter.PrivateData(), "cam");
        EXPECT_EQ(adapter.Flags(), AVIO_FLAG_READ_WRITE);
        uint8_t buf[1] = {};
        MemoryRead(connection.get(), buf, 1);
        MemoryWrite(connection.get(), buf, 1);
        MemorySeek(connection.get(), 0, SEEK_SET);
        connection.reset();
        EXPECT_EQ(raised, QStringList({"open", "read", "write", "seek", "close"}));
        EXPECT_FALSE(adapter.Opened());

        // And handlers set on the stream show through the adapter.
        stream->OnRead = nullptr;
        EXPECT_FALSE(adapter.OnRead());
        EXPECT_TRUE(adapter.OnSeek());
    }
    EXPECT_EQ(TCustomEventStream::FindLive(id), nullptr);
}

TEST(MemoryInputThreads, EventsRunOnTheUiThreadOnlyWhenAsked)
{
    for (const bool onUiThread : {true, false}) {
        SCOPED_TRACE(onUiThread);
        TMemoryAccessAdapter adapter;
        adapter.SetTriggerEventInMainThread(onUiThread);
        std::vector<std::thread::id> ranOn; // one event at a time, so no lock
        const auto record = [&] { ranOn.push_back(std::this_thread::get_id()); };
        adapter.SetOnOpen([&](auto...) { return record(), true; });
        adapter.SetOnRead([&](auto...) { return record(), 4; });
        adapter.SetOnWrite([&](auto...) { return record(), 4; });
        adapter.SetOnSeek([&](auto...) { return record(), qint64(9); });
        adapter.SetOnClose([&](auto...) { record(); });

        std::thread::id worker;
        std::vector<qint64> answers;
        RunOnWorker([&] {
            worker = std::this_thread::get_id();
            int result = -5;
            MemoryConnection* connection = OpenMemoryConnection(adapter.Address(), AVIO_FLAG_READ_WRITE, nullptr, &result);
            uint8_t buf[4] = {};
            answers = {result, MemoryRead(connection, buf, 4), MemoryWrite(connection, buf, 4),
                       MemorySeek(connection, 0, SEEK_SET), CloseMemoryConnection(connection)};
        });
        EXPECT_EQ(answers, (std::vector<qint64>{0, 4, 4, 9, 0}));
        const auto expected = onUiThread ? std::this_thread::get_id() : worker;
        ASSERT_EQ(ranOn.size(), 5u);
        for (const auto& id : ranOn)
            EXPECT_EQ(id, expected);
    }
}

TEST(MemoryInputThreads, OneEventOfAStreamAtATime)
{
    TCustomEventStream stream;
    stream.TriggerEventInMainThread = false;
    std::atomic<int> inFlight = 0;
    std::atomic<int> overlaps = 0;
    stream.OnRead = [&](TCustomEventStream*, void*, int count) {
        if (++inFlight > 1)
            ++overlaps;
        std::this_thread::sleep_for(20us);
        --inFlight;
        return count;
    };
    Watchdog watchdog("concurrent reads");
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r)
        readers.emplace_back([&] {
            auto connection = Connect(AddressOf(stream), AVIO_FLAG_READ);
            uint8_t buf[1];
            for (int i = 0; i < 200; ++i)
                MemoryRead(connection.get(), buf, 1);
        });
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(overlaps, 0);
}

TEST(MemoryInputThreads, DestructionWaitsForTheEventInFlight)
{
    auto stream = std::make_unique<TCustomEventStream>();
    stream->TriggerEventInMainThread = false;
    std::atomic<bool> entered = false;
    std::atomic<bool> release = false;
    std::atomic<int> senderIdentity = 0;
    stream->OnRead = [&](TCustomEventStream* sender, void*, int count) {
        entered = true;
        while (!release)
            std::this_thread::sleep_for(1ms);
        senderIdentity = sender->Identity(); // the stream must still be whole here
        return count;
    };
    const int identity = stream->Identity();
    auto connection = Connect(AddressOf(*stream), AVIO_FLAG_READ);

    Watchdog watchdog("destruction during a read");
    int readResult = 0;
    std::thread reader([&] {
        uint8_t buf[3];
        readResult = MemoryRead(connection.get(), buf, 3);
    });
    while (!entered)
        std::this_thread::sleep_for(1ms);
    std::atomic<bool> destroyed = false;
    std::thread destroyer([&] {
        stream.reset();
        destroyed = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(destroyed);
    release = true;
    reader.join();
    destroyer.join();
    EXPECT_EQ(readResult, 3);
    EXPECT_EQ(senderIdentity, identity);
    uint8_t buf[3];
    EXPECT_EQ(MemoryRead(connection.get(), buf, 3), -1);
}

TEST(MemoryInputThreads, UiThreadDestroyingAStreamServesItsPendingEvent)
{
    // The reader holds the stream's gate while it waits for the UI thread to run its event; a
    // UI thread that simply blocked in the destructor would wait for ever.
    auto stream = std::make_unique<TCustomEventStream>();
    std::atomic<bool> handlerOnUiThread = true;
    stream->OnRead = [&](TCustomEventStream*, void*, int count) {
        handlerOnUiThread = UiHandover::OnUiThread();
        return count;
    };
    auto connection = Connect(AddressOf(*stream), AVIO_FLAG_READ);

    Watchdog watchdog("destruction on the UI thread");
    std::atomic<bool> reading = false;
    int readResult = 0;
    std::thread reader([&] {
        reading = true;
        uint8_t buf[2];
        readResult = MemoryRead(connection.get(), buf, 2);
    });
    while (!reading)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms); // the read is now most likely waiting for this thread
    stream.reset();
    reader.join();
    EXPECT_TRUE(readResult == 2 || readResult == -1) << readResult; // -1 when destruction came first
    EXPECT_TRUE(handlerOnUiThread);
}

} // namespace
