#pragma once
// The playback engine's log channel. The engine's own messages and FFmpeg's (through
// FFmpegLogCallback) are filtered by level, handed to the host's OnLog one line at a time (on
// Qt's main thread unless told otherwise) and, when asked, appended to a file.
//
// The settings are read on FFmpeg's threads, so each can be changed at any time from any thread.

#include "core/Guarded.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <cstdarg>
#include <functional>
#include <memory>
#include <mutex>

class QFile;

enum class TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug, llTrace };

// FFmpeg's AV_LOG_* level as ours. A level between two steps counts as the more detailed one, so
// it is dropped where FFmpeg would drop it; colour bits above the low byte are ignored.
TLogLevel LogLevelFromFFmpeg(int avLevel);
// The AV_LOG_* level for ours, for av_log_set_level.
int FFmpegLogLevel(TLogLevel level);
// "Quiet", "Panic", ..., "Trace".
QString LogLevelName(TLogLevel level);

// LogFlags bit: a line equal to the previous one is counted, not written (AV_LOG_SKIP_REPEATED).
constexpr int LogSkipRepeated = 0x1;

struct TLogLine {
    TLogLevel level;
    QByteArray text;
    bool operator==(const TLogLine&) const = default;
};

// Collects FFmpeg's pieces of output into lines; one per thread, since pieces of a line arrive in
// several calls and threads log at the same time.
class LogLineAssembler {
public:
    // The lines this piece completes, without their line feed. prefix goes in front when the
    // piece starts a line; a line keeps the level of the piece that started it.
    QList<TLogLine> Add(TLogLevel level, const QByteArray& prefix, const QByteArray& piece);

private:
    QByteArray FPartial;
    TLogLevel FLevel = TLogLevel::llInfo;
};

// Counts a run of equal lines instead of passing them on.
class LogRepeatFilter {
public:
    // The lines to write for a complete line: none while it repeats the previous one (and
    // skipRepeated is set); otherwise what the run of repeats still owes, then the line itself.
    QList<TLogLine> Pass(const TLogLine& line, bool skipRepeated);

private:
    TLogLine FLast{TLogLevel::llInfo, {}};
    bool FHasLast = false;
    int FRepeats = 0; // copies of FLast held back
};

class TFFLogger {
public:
    using TOnLog = std::function<void(TFFLogger* sender, quint64 threadId, TLogLevel level, const QString& msg)>;

    // Throws std::logic_error when the host has placed one already; takes over from a logger
    // FFLogger() made on its own.
    TFFLogger();
    ~TFFLogger();
    TFFLogger(const TFFLogger&) = delete;
    TFFLogger& operator=(const TFFLogger&) = delete;

    std::atomic<bool> Active{true};
    std::atomic<TLogLevel> LogLevel{TLogLevel::llInfo};
    TGuarded<QString> LogFile;
    std::atomic<bool> LogToFile{false};
    std::atomic<int> LogFlags{0};
    std::atomic<bool> TriggerEventInMainThread{true};
    TGuarded<TOnLog> OnLog;

    // Whether a message of this level gets through.
    bool Accepts(TLogLevel level) const;

    // One message of the engine's own; sender is the engine object it is about (not shown).
    void Log(const void* sender, TLogLevel level, const QString& msg);
    [[gnu::format(printf, 4, 5)]] void LogF(const void* sender, TLogLevel level, const char* fmt, ...);

private:
    struct AutomaticTag {};
    struct Delivery;
    explicit TFFLogger(AutomaticTag);

    void Emit(TLogLevel level, const QString& msg);
    void WriteToFile(TLogLevel level, const QString& msg);
    void CallOnLog(quint64 threadId, TLogLevel level, const QString& msg);

    std::shared_ptr<Delivery> FDelivery; // outlives the logger in queued deliveries
    std::mutex FFileMutex;
    std::unique_ptr<QFile> FFile;
    std::mutex FRepeatMutex;
    LogRepeatFilter FRepeats; // shared by all of FFmpeg's threads

    friend TFFLogger& FFLogger();
    friend void FFmpegLogCallback(void* avcl, int level, const char* fmt, va_list vl);
};

// The process's logger: the host's, or one made on first use when the host placed none.
TFFLogger& FFLogger();

// For av_log_set_callback.
void FFmpegLogCallback(void* avcl, int level, const char* fmt, va_list vl);
