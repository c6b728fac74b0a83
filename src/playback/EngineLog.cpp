#include "playback/EngineLog.h"

#include "core/UiHandover.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QThread>
#include <cstdio>
#include <stdexcept>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

struct LevelStep {
    int av;
    TLogLevel level;
    const char16_t* name;
};

// In the order of TLogLevel.
constexpr LevelStep Levels[] = {
    {AV_LOG_QUIET, TLogLevel::llQuiet, u"Quiet"},       {AV_LOG_PANIC, TLogLevel::llPanic, u"Panic"},
    {AV_LOG_FATAL, TLogLevel::llFatal, u"Fatal"},       {AV_LOG_ERROR, TLogLevel::llError, u"Error"},
    {AV_LOG_WARNING, TLogLevel::llWarning, u"Warning"}, {AV_LOG_INFO, TLogLevel::llInfo, u"Info"},
    {AV_LOG_VERBOSE, TLogLevel::llVerbose, u"Verbose"}, {AV_LOG_DEBUG, TLogLevel::llDebug, u"Debug"},
    {AV_LOG_TRACE, TLogLevel::llTrace, u"Trace"},
};

const LevelStep& Step(TLogLevel level)
{
    return Levels[static_cast<int>(level)];
}

constexpr size_t FormatStep = 2048;

QByteArray FormatText(const char* fmt, va_list vl)
{
    std::vector<char> buffer(FormatStep);
    for (;;) {
        // vsnprintf consumes the list it is given, and a long text needs a second try.
        va_list copy;
        va_copy(copy, vl);
        const int length = std::vsnprintf(buffer.data(), buffer.size(), fmt, copy);
        va_end(copy);
        if (length < 0)
            return {};
        if (size_t(length) < buffer.size())
            return QByteArray(buffer.data(), length);
        buffer.resize((size_t(length) / FormatStep + 1) * FormatStep);
    }
}

QByteArray Printf(const char* fmt, ...)
{
    va_list vl;
    va_start(vl, fmt);
    QByteArray text = FormatText(fmt, vl);
    va_end(vl);
    return text;
}

// A log context is any struct whose first member is its AVClass*.
const AVClass* ClassOf(void* context)
{
    return context ? *static_cast<const AVClass* const*>(context) : nullptr;
}

QByteArray ComponentPrefix(void* context)
{
    const AVClass* avClass = ClassOf(context);
    const char* name = avClass->item_name ? avClass->item_name(context) : avClass->class_name;
    return Printf("[%s @ %p] ", name ? name : "", context);
}

// "[parent @ address] [component @ address] ", as FFmpeg's own logger writes it.
QByteArray ContextPrefix(void* avcl)
{
    const AVClass* avClass = ClassOf(avcl);
    if (!avClass)
        return {};
    QByteArray prefix;
    if (avClass->parent_log_context_offset) {
        void* parent = *reinterpret_cast<void**>(static_cast<char*>(avcl) + avClass->parent_log_context_offset);
        if (ClassOf(parent))
            prefix = ComponentPrefix(parent);
    }
    return prefix + ComponentPrefix(avcl);
}

std::mutex slotMutex;
std::atomic<TFFLogger*> current{nullptr};
// Never freed: FFmpeg's threads may still log while the process ends.
TFFLogger* automaticLogger = nullptr;

} // namespace

TLogLevel LogLevelFromFFmpeg(int avLevel)
{
    if (avLevel >= 0)
        avLevel &= 0xff;
    for (const LevelStep& step : Levels)
        if (avLevel <= step.av)
            return step.level;
    return TLogLevel::llTrace;
}

int FFmpegLogLevel(TLogLevel level)
{
    return Step(level).av;
}

QString LogLevelName(TLogLevel level)
{
    return QString::fromUtf16(Step(level).name);
}

QList<TLogLine> LogLineAssembler::Add(TLogLevel level, const QByteArray& prefix, const QByteArray& piece)
{
    if (piece.isEmpty())
        return {};
    if (FPartial.isEmpty()) {
        FLevel = level;
        FPartial = prefix;
    }
    FPartial += piece;
    QList<TLogLine> lines;
    qsizetype start = 0;
    for (qsizetype end; (end = FPartial.indexOf('\n', start)) >= 0; start = end + 1) {
        lines.append({FLevel, FPartial.mid(start, end - start)});
        FLevel = level; // what follows started in this piece
    }
    FPartial.remove(0, start);
    return lines;
}

QList<TLogLine> LogRepeatFilter::Pass(const TLogLine& line, bool skipRepeated)
{
    if (skipRepeated && FHasLast && line.text == FLast.text) {
        ++FRepeats;
        return {};
    }
    QList<TLogLine> lines;
    if (FRepeats > 1)
        lines.append({FLast.level, Printf("%s (repeated %d times)", FLast.text.constData(), FRepeats)});
    else if (FRepeats == 1)
        lines.append(FLast);
    lines.append(line);
    FLast = line;
    FHasLast = true;
    FRepeats = 0;
    return lines;
}

// What a queued delivery reaches the logger through; cleared when the logger goes.
struct TFFLogger::Delivery {
    explicit Delivery(TFFLogger* owner) : logger(owner) {}
    std::recursive_mutex mutex; // recursive: OnLog may destroy the logger
    TFFLogger* logger;
};

TFFLogger::TFFLogger() : FDelivery(std::make_shared<Delivery>(this))
{
    std::lock_guard lock(slotMutex);
    TFFLogger* existing = current.load();
    if (existing && existing != automaticLogger)
        throw std::logic_error("Allow creating only one instance of TFFLogger.");
    current = this;
}

TFFLogger::TFFLogger(AutomaticTag) : FDelivery(std::make_shared<Delivery>(this)) {}

TFFLogger::~TFFLogger()
{
    {
        std::lock_guard lock(FDelivery->mutex);
        FDelivery->logger = nullptr;
    }
    std::lock_guard lock(slotMutex);
    if (current == this)
        current = nullptr;
}

TFFLogger& FFLogger()
{
    if (TFFLogger* logger = current.load(std::memory_order_acquire))
        return *logger;
    std::lock_guard lock(slotMutex);
    if (!current) {
        if (!automaticLogger)
            automaticLogger = new TFFLogger(TFFLogger::AutomaticTag{});
        current = automaticLogger;
    }
    return *current;
}

bool TFFLogger::Accepts(TLogLevel level) const
{
    return Active && level != TLogLevel::llQuiet && level <= LogLevel;
}

void TFFLogger::Log(const void* sender, TLogLevel level, const QString& msg)
{
    if (Accepts(level))
        Emit(level, msg.endsWith(u'\n') ? msg.chopped(1) : msg);
}

void TFFLogger::LogF(const void* sender, TLogLevel level, const char* fmt, ...)
{
    if (!Accepts(level))
        return;
    va_list vl;
    va_start(vl, fmt);
    const QByteArray text = FormatText(fmt, vl);
    va_end(vl);
    Log(sender, level, QString::fromUtf8(text));
}

void TFFLogger::Emit(TLogLevel level, const QString& msg)
{
    if (LogToFile)
        WriteToFile(level, msg);
    if (!OnLog.Get())
        return;
    const quint64 threadId = quint64(reinterpret_cast<quintptr>(QThread::currentThreadId()));
    QCoreApplication* app = QCoreApplication::instance();
    if (TriggerEventInMainThread && app && QThread::currentThread() != app->thread()) {
        // Queued, so the logging thread never waits for the main thread.
        UiHandover::Post([delivery = FDelivery, threadId, level, msg] {
            std::lock_guard lock(delivery->mutex);
            if (delivery->logger)
                delivery->logger->CallOnLog(threadId, level, msg);
        });
    } else {
        CallOnLog(threadId, level, msg);
    }
}

void TFFLogger::CallOnLog(quint64 threadId, TLogLevel level, const QString& msg)
{
    if (const TOnLog handler = OnLog.Get())
        handler(this, threadId, level, msg);
}

void TFFLogger::WriteToFile(TLogLevel level, const QString& msg)
{
    const QString path = LogFile;
    if (path.isEmpty())
        return;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    const QByteArray line = QStringLiteral("%1 [%2] %3\n").arg(stamp, LogLevelName(level), msg).toUtf8();
    std::lock_guard lock(FFileMutex);
    if (!FFile || FFile->fileName() != path)
        FFile = std::make_unique<QFile>(path);
    if (!FFile->isOpen() && !FFile->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    FFile->write(line);
    FFile->flush(); // the last lines before a crash are the ones wanted
}

void FFmpegLogCallback(void* avcl, int level, const char* fmt, va_list vl)
{
    TFFLogger& logger = FFLogger();
    const TLogLevel ourLevel = LogLevelFromFFmpeg(level);
    if (!logger.Accepts(ourLevel))
        return;
    thread_local LogLineAssembler assembler;
    const QList<TLogLine> lines = assembler.Add(ourLevel, ContextPrefix(avcl), FormatText(fmt, vl));
    if (lines.isEmpty())
        return;
    QList<TLogLine> output;
    {
        std::lock_guard lock(logger.FRepeatMutex);
        const bool skipRepeated = logger.LogFlags & LogSkipRepeated;
        for (const TLogLine& line : lines)
            output += logger.FRepeats.Pass(line, skipRepeated);
    }
    for (const TLogLine& line : output)
        logger.Emit(line.level, QString::fromUtf8(line.text));
}
