#include "playback/EngineLog.h"

#include "TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>
#include <cstddef>
#include <gtest/gtest.h>
#include <semaphore>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Calls the callback the way av_log would.
void FFLog(void* avcl, int level, const char* fmt, ...)
{
    va_list vl;
    va_start(vl, fmt);
    FFmpegLogCallback(avcl, level, fmt, vl);
    va_end(vl);
}

quint64 CurrentThreadId()
{
    return quint64(reinterpret_cast<quintptr>(QThread::currentThreadId()));
}

// Runs the main thread's events until done() holds, for a generous while at most.
bool PumpUntil(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Waits for a flag without running any events.
bool WaitWithoutEvents(const std::atomic<bool>& flag)
{
    QDeadlineTimer deadline(10000);
    while (!flag && !deadline.hasExpired())
        QThread::msleep(1);
    return flag;
}

// A log context of FFmpeg's shape: its AVClass* first.
struct FakeContext {
    const AVClass* avClass;
    const char* name;
    FakeContext* parent;
};

const char* FakeItemName(void* context)
{
    return static_cast<FakeContext*>(context)->name;
}

AVClass FakeClass(const char* name, int parentOffset)
{
    AVClass avClass{};
    avClass.class_name = name;
    avClass.item_name = FakeItemName;
    avClass.parent_log_context_offset = parentOffset;
    return avClass;
}

const AVClass ParentClass = FakeClass("parent-class", 0);
const AVClass ChildClass = FakeClass("child-class", offsetof(FakeContext, parent));

struct Received {
    quint64 threadId;
    TLogLevel level;
    QString msg;
    QThread* thread;
};

// A host logger that records what reaches OnLog.
class EngineLogTest : public testing::Test {
protected:
    EngineLogTest()
    {
        logger.OnLog = [this](TFFLogger* sender, quint64 threadId, TLogLevel level, const QString& msg) {
            EXPECT_EQ(sender, &logger);
            std::lock_guard lock(mutex);
            received.push_back({threadId, level, msg, QThread::currentThread()});
        };
    }

    std::vector<Received> Lines()
    {
        std::lock_guard lock(mutex);
        return received;
    }
    QStringList Messages()
    {
        QStringList messages;
        for (const Received& line : Lines())
            messages << line.msg;
        return messages;
    }

    std::mutex mutex;
    std::vector<Received> received;
    TFFLogger logger;
};

using EngineLogLevels = EngineLogTest;
using EngineLogRepeatsThroughFFmpeg = EngineLogTest;
using EngineLogFFmpegText = EngineLogTest;
using EngineLogInstance = EngineLogTest;
using EngineLogDelivery = EngineLogTest;
using EngineLogFile = EngineLogTest;

TEST(EngineLogLevelTable, EveryLevelMapsToFFmpegsAndBack)
{
    for (int i = int(TLogLevel::llQuiet); i <= int(TLogLevel::llTrace); ++i) {
        const auto level = TLogLevel(i);
        EXPECT_EQ(LogLevelFromFFmpeg(FFmpegLogLevel(level)), level) << LogLevelName(level).toStdString();
    }
    EXPECT_EQ(FFmpegLogLevel(TLogLevel::llWarning), AV_LOG_WARNING);
    EXPECT_EQ(FFmpegLogLevel(TLogLevel::llTrace), AV_LOG_TRACE);
}

TEST_F(EngineLogLevels, DetailedMessagesAndInactiveLoggerAreDropped)
{
    struct Case {
        TLogLevel logLevel;
        bool active;
        TLogLevel message;
        bool passes;
    };
    const Case cases[] = {
        {TLogLevel::llInfo, true, TLogLevel::llError, true},
        {TLogLevel::llInfo, true, TLogLevel::llInfo, true},
        {TLogLevel::llInfo, true, TLogLevel::llVerbose, false},
        {TLogLevel::llError, true, TLogLevel::llWarning, false},
        {TLogLevel::llTrace, true, TLogLevel::llTrace, true},
        {TLogLevel::llQuiet, true, TLogLevel::llPanic, false},
        {TLogLevel::llInfo, false, TLogLevel::llError, false},
    };
    for (const Case& c : cases) {
        received.clear();
        logger.LogLevel = c.logLevel;
        logger.Active = c.active;
        logger.Log(nullptr, c.message, QStringLiteral("own"));
        logger.LogF(nullptr, c.message, "printf %d", 7);
        const QStringList expected = c.passes ? QStringList{"own", "printf 7"} : QStringList{};
        EXPECT_EQ(Messages(), expected) << "log level " << int(c.logLevel) << ", message " << int(c.message)
                                        << ", active " << c.active;
    }
}

TEST_F(EngineLogLevels, FFmpegLevelsAreFilteredAsFFmpegWould)
{
    struct Case {
        int avLevel;
        bool passes;
        TLogLevel delivered;
    };
    const Case cases[] = {
        {AV_LOG_PANIC, true, TLogLevel::llPanic},
        {AV_LOG_ERROR, true, TLogLevel::llError},
        {AV_LOG_WARNING, true, TLogLevel::llWarning},
        {AV_LOG_INFO, false, {}},
        {AV_LOG_DEBUG, false, {}},
        {20, true, TLogLevel::llWarning},          // between error and warning
        {28, false, {}},                           // between warning and info
        {AV_LOG_ERROR | (3 << 8), true, TLogLevel::llError}, // colour bits
        {-20, false, {}},                          // below quiet
    };
    logger.LogLevel = TLogLevel::llWarning;
    for (const Case& c : cases) {
        received.clear();
        FFLog(nullptr, c.avLevel, "level %d\n", c.avLevel);
        const std::vector<Received> lines = Lines();
        ASSERT_EQ(lines.size(), c.passes ? 1u : 0u) << "AV level " << c.avLevel;
        if (c.passes) {
            EXPECT_EQ(lines[0].level, c.delivered) << "AV level " << c.avLevel;
            EXPECT_EQ(lines[0].msg, QString("level %1").arg(c.avLevel));
        }
    }
}

TEST(EngineLogRepeatFilter, RunsOfEqualLinesAreCounted)
{
    struct Case {
        const char* name;
        std::vector<const char*> in;
        bool skip;
        QStringList out;
    };
    const Case cases[] = {
        {"five, then another", {"m", "m", "m", "m", "m", "x"}, true, {"m", "m (repeated 4 times)", "x"}},
        {"three, then another", {"m", "m", "m", "x"}, true, {"m", "m (repeated 2 times)", "x"}},
        {"two, then another", {"m", "m", "x"}, true, {"m", "m", "x"}},
        {"one, then another", {"m", "x"}, true, {"m", "x"}},
        {"a run still open", {"m", "m", "m"}, true, {"m"}},
        {"two runs", {"a", "a", "a", "b", "b", "b", "a"}, true,
         {"a", "a (repeated 2 times)", "b", "b (repeated 2 times)", "a"}},
        {"empty lines repeat too", {"", "", "", "x"}, true, {"", " (repeated 2 times)", "x"}},
        {"not asked to skip", {"m", "m", "m", "x"}, false, {"m", "m", "m", "x"}},
    };
    for (const Case& c : cases) {
        LogRepeatFilter filter;
        QStringList out;
        for (const char* line : c.in)
            for (const TLogLine& written : filter.Pass({TLogLevel::llInfo, line}, c.skip))
                out << QString::fromUtf8(written.text);
        EXPECT_EQ(out, c.out) << c.name;
    }
}

TEST(EngineLogRepeatFilter, TheCountKeepsTheRepeatedLinesLevel)
{
    LogRepeatFilter filter;
    filter.Pass({TLogLevel::llWarning, "m"}, true);
    filter.Pass({TLogLevel::llWarning, "m"}, true);
    filter.Pass({TLogLevel::llWarning, "m"}, true);
    const QList<TLogLine> out = filter.Pass({TLogLevel::llError, "x"}, true);
    const QList<TLogLine> expected{{TLogLevel::llWarning, "m (repeated 2 times)"}, {TLogLevel::llError, "x"}};
    EXPECT_EQ(out, expected);
}

TEST_F(EngineLogRepeatsThroughFFmpeg, RepeatsAreCountedAcrossThreads)
{
    logger.LogFlags = LogSkipRepeated;
    FFLog(nullptr, AV_LOG_WARNING, "same %s\n", "text");
    std::thread worker([] {
        FFLog(nullptr, AV_LOG_WARNING, "same text\n");
        FFLog(nullptr, AV_LOG_WARNING, "same ");
        FFLog(nullptr, AV_LOG_WARNING, "text\n");
    });
    worker.join();
    FFLog(nullptr, AV_LOG_WARNING, "same text\n");
    FFLog(nullptr, AV_LOG_WARNING, "same text\n");
    FFLog(nullptr, AV_LOG_ERROR, "other\n");
    // The worker's copies were held back, so nothing of theirs is queued either.
    QCoreApplication::processEvents();
    EXPECT_EQ(Messages(), (QStringList{"same text", "same text (repeated 4 times)", "other"}));
}

TEST_F(EngineLogRepeatsThroughFFmpeg, WithoutTheFlagEveryLineIsWritten)
{
    for (int i = 0; i < 3; ++i)
        FFLog(nullptr, AV_LOG_INFO, "same\n");
    EXPECT_EQ(Messages(), (QStringList{"same", "same", "same"}));
}

TEST(EngineLogLineAssembler, PiecesBecomeLinesWithThePrefixAtTheirStart)
{
    LogLineAssembler assembler;
    EXPECT_TRUE(assembler.Add(TLogLevel::llInfo, "[a] ", "one").isEmpty());
    EXPECT_TRUE(assembler.Add(TLogLevel::llInfo, "[b] ", "").isEmpty());
    const QList<TLogLine> first = assembler.Add(TLogLevel::llDebug, "[b] ", " two\nthr");
    EXPECT_EQ(first, (QList<TLogLine>{{TLogLevel::llInfo, "[a] one two"}}));
    const QList<TLogLine> second = assembler.Add(TLogLevel::llWarning, "[c] ", "ee\n\nfour\n");
    EXPECT_EQ(second, (QList<TLogLine>{{TLogLevel::llDebug, "three"},
                                       {TLogLevel::llWarning, ""},
                                       {TLogLevel::llWarning, "four"}}));
    EXPECT_EQ(assembler.Add(TLogLevel::llError, "[d] ", "\n"), (QList<TLogLine>{{TLogLevel::llError, "[d] "}}));
}

TEST_F(EngineLogFFmpegText, PrefixNamesTheComponentAndItsParent)
{
    FakeContext parent{&ParentClass, "demuxer", nullptr};
    FakeContext child{&ChildClass, "stream", &parent};
    FakeContext orphan{&ChildClass, "orphan", nullptr};
    FakeContext classless{nullptr, "none", nullptr};
    const auto prefix = [](const FakeContext& c) { return QString::asprintf("[%s @ %p] ", c.name, &c); };
    struct Case {
        void* context;
        QString expected;
    };
    const Case cases[] = {
        {nullptr, "opened 1"},
        {&classless, "opened 1"},
        {&parent, prefix(parent) + "opened 1"},
        {&child, prefix(parent) + prefix(child) + "opened 1"},
        {&orphan, prefix(orphan) + "opened 1"},
    };
    for (const Case& c : cases) {
        received.clear();
        FFLog(c.context, AV_LOG_INFO, "opened %d\n", 1);
        EXPECT_EQ(Messages(), QStringList{c.expected});
    }
}

TEST_F(EngineLogFFmpegText, UnfinishedLinesOfTwoThreadsStaySeparate)
{
    FakeContext first{&ParentClass, "first", nullptr};
    FakeContext second{&ParentClass, "second", nullptr};
    std::binary_semaphore firstStarted{0}, secondStarted{0}, firstEnded{0};
    quint64 firstId = 0, secondId = 0;
    std::thread a([&] {
        firstId = CurrentThreadId();
        FFLog(&first, AV_LOG_INFO, "alpha %d", 1);
        firstStarted.release();
        secondStarted.acquire();
        FFLog(&first, AV_LOG_INFO, " two\n");
        firstEnded.release();
    });
    std::thread b([&] {
        secondId = CurrentThreadId();
        firstStarted.acquire();
        FFLog(&second, AV_LOG_INFO, "beta");
        secondStarted.release();
        firstEnded.acquire();
        FFLog(&second, AV_LOG_INFO, " three\n");
    });
    a.join();
    b.join();
    ASSERT_TRUE(PumpUntil([&] { return Lines().size() == 2; }));
    const std::vector<Received> lines = Lines();
    EXPECT_EQ(lines[0].msg, QString::asprintf("[first @ %p] alpha 1 two", &first));
    EXPECT_EQ(lines[0].threadId, firstId);
    EXPECT_EQ(lines[1].msg, QString::asprintf("[second @ %p] beta three", &second));
    EXPECT_EQ(lines[1].threadId, secondId);
}

TEST_F(EngineLogFFmpegText, LongMessagesArriveWhole)
{
    for (const int length : {2047, 2048, 3000, 4096, 5000, 9000}) {
        received.clear();
        std::string text;
        for (int i = 0; i < length; ++i)
            text += char('a' + i % 26);
        FFLog(nullptr, AV_LOG_INFO, "%s|%d\n", text.c_str(), length);
        logger.LogF(nullptr, TLogLevel::llInfo, "%s|%d", text.c_str(), -length);
        const QString expected = QString::fromStdString(text);
        EXPECT_EQ(Messages(), (QStringList{expected + '|' + QString::number(length),
                                           expected + '|' + QString::number(-length)}))
            << length;
    }
}

TEST_F(EngineLogInstance, ASecondLoggerIsRefused)
{
    try {
        TFFLogger second;
        FAIL() << "a second logger was made";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "Allow creating only one instance of TFFLogger.");
    }
    EXPECT_EQ(&FFLogger(), &logger);
}

TEST(EngineLogInstanceSlot, TheHostsLoggerTakesOverFromTheAutomaticOne)
{
    TFFLogger& automatic = FFLogger();
    EXPECT_EQ(&FFLogger(), &automatic);
    const void* hostAddress = nullptr;
    {
        TFFLogger host;
        hostAddress = &host;
        EXPECT_EQ(&FFLogger(), &host);
        EXPECT_THROW(TFFLogger(), std::logic_error);
    }
    EXPECT_NE(static_cast<const void*>(&FFLogger()), hostAddress);
    TFFLogger again;
    EXPECT_EQ(&FFLogger(), &again);
}

TEST_F(EngineLogDelivery, WorkerLinesArriveOnTheMainThreadWithoutWaitingForIt)
{
    std::atomic<bool> returned{false};
    quint64 workerId = 0;
    std::thread worker([&] {
        workerId = CurrentThreadId();
        logger.Log(nullptr, TLogLevel::llWarning, QStringLiteral("own line\n"));
        FFLog(nullptr, AV_LOG_ERROR, "ffmpeg line\n");
        returned = true;
    });
    // No events run meanwhile, so a delivery that waited for the main thread would never return.
    EXPECT_TRUE(WaitWithoutEvents(returned));
    EXPECT_TRUE(Lines().empty());
    ASSERT_TRUE(PumpUntil([&] { return Lines().size() == 2; }));
    worker.join();
    const std::vector<Received> lines = Lines();
    EXPECT_EQ(Messages(), (QStringList{"own line", "ffmpeg line"}));
    for (const Received& line : lines) {
        EXPECT_EQ(line.thread, QCoreApplication::instance()->thread());
        EXPECT_EQ(line.threadId, workerId);
        EXPECT_NE(line.threadId, CurrentThreadId());
    }
    EXPECT_EQ(lines[0].level, TLogLevel::llWarning);
    EXPECT_EQ(lines[1].level, TLogLevel::llError);
}

TEST_F(EngineLogDelivery, WithoutTheMainThreadTheLoggingThreadCallsOnLog)
{
    logger.TriggerEventInMainThread = false;
    QThread* workerThread = nullptr;
    std::thread worker([&] {
        workerThread = QThread::currentThread();
        logger.Log(nullptr, TLogLevel::llInfo, QStringLiteral("direct"));
    });
    worker.join();
    const std::vector<Received> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].msg, "direct");
    EXPECT_EQ(lines[0].thread, workerThread);
}

TEST(EngineLogLifetime, QueuedLinesForAGoneLoggerAreDropped)
{
    std::atomic<int> calls{0};
    {
        TFFLogger logger;
        logger.OnLog = [&](TFFLogger*, quint64, TLogLevel, const QString&) { ++calls; };
        std::thread worker([&] {
            for (int i = 0; i < 50; ++i) {
                logger.LogF(nullptr, TLogLevel::llError, "line %d", i);
                FFLog(nullptr, AV_LOG_ERROR, "ffmpeg %d\n", i);
            }
        });
        worker.join();
    }
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

TEST(EngineLogLifetime, OnLogMayDestroyTheLogger)
{
    int calls = 0;
    auto logger = std::make_unique<TFFLogger>();
    logger->OnLog = [&](TFFLogger*, quint64, TLogLevel, const QString&) {
        ++calls;
        logger.reset();
    };
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            logger->Log(nullptr, TLogLevel::llError, QStringLiteral("line"));
    });
    worker.join();
    ASSERT_TRUE(PumpUntil([&] { return !logger; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
}

TEST_F(EngineLogFile, LinesAreAppendedWithTimeAndLevel)
{
    TempFolder folder;
    const QString path = folder.file("engine.log");
    WriteTextFile(path, "earlier\n");
    logger.LogFile = path;
    logger.Log(nullptr, TLogLevel::llWarning, QStringLiteral("not yet"));
    logger.LogToFile = true;
    logger.Log(nullptr, TLogLevel::llWarning, QStringLiteral("first"));
    FFLog(nullptr, AV_LOG_ERROR, "second\n");
    logger.Log(nullptr, TLogLevel::llDebug, QStringLiteral("too detailed"));
    logger.LogToFile = false;
    logger.Log(nullptr, TLogLevel::llWarning, QStringLiteral("after"));

    const QStringList lines = ReadTextFile(path).split('\n');
    ASSERT_EQ(lines.size(), 4) << ReadTextFile(path).toStdString();
    EXPECT_EQ(lines[0], "earlier");
    const QString stamp = QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    EXPECT_TRUE(QRegularExpression(stamp + R"(\[Warning\] first$)").match(lines[1]).hasMatch()) << lines[1].toStdString();
    EXPECT_TRUE(QRegularExpression(stamp + R"(\[Error\] second$)").match(lines[2]).hasMatch()) << lines[2].toStdString();
    EXPECT_EQ(lines[3], "");
}

TEST_F(EngineLogFile, LinesOfManyThreadsStayWhole)
{
    TempFolder folder;
    logger.LogFile = folder.file("engine.log");
    logger.LogToFile = true;
    logger.OnLog = TFFLogger::TOnLog();
    const int threads = 8, linesEach = 500;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < linesEach; ++i)
                logger.LogF(nullptr, TLogLevel::llInfo, "thread %d line %d %s", t, i, std::string(300, 'x').c_str());
        });
    for (std::thread& worker : workers)
        worker.join();
    QStringList lines = ReadTextFile(folder.file("engine.log")).split('\n');
    ASSERT_EQ(lines.takeLast(), "");
    ASSERT_EQ(lines.size(), threads * linesEach);
    const QRegularExpression whole(QStringLiteral(R"(^\S+ \S+ \[Info\] thread \d line \d+ x{300}$)"));
    for (const QString& line : lines)
        ASSERT_TRUE(whole.match(line).hasMatch()) << line.toStdString();
}

} // namespace
