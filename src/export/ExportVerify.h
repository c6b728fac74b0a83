#pragma once
// Checking an export against its hash list: every file the record names is read again and its
// XXH64 compared with the recorded one, files the record does not name are pointed out, and the
// check itself is added to the record as a generation of its own.

#include <QList>
#include <QString>
#include <functional>
#include <stop_token>

class QTextStream;

// What the check found for one file.
struct VerifyLine {
    enum class Result {
        Correct,    // read again, the hash is the recorded one
        Mismatch,   // read again, the hash differs (or the file could not be read)
        Missing,    // recorded, but not there
        Unrecorded, // there, but no generation names it
    };
    Result result = Result::Correct;
    QString path;   // relative to the root, "/" between folders
    QString detail; // for a mismatch: the recorded and the present hash, or why it could not be read
};

// The words the results are shown with: 正确, 不一致, 缺失, 未记录 (UTF-8).
const char* VerifyResultText(VerifyLine::Result result);

struct VerifyReport {
    QList<VerifyLine> lines;   // the recorded files in path order, then the unrecorded ones
    bool cancelled = false;    // stopped early: no generation was written
    QString error;             // in Chinese: no record, a record that cannot be read or written
    QString generation;        // the path of the generation written; empty when none was
    bool AllRight() const;     // finished without error, and every line is Correct
};

// Reads again every file the latest entries of root's hash list name (each once, from start to
// end in large blocks), lists the files under root that no generation names (ascmhl/ and hidden
// names, such as a copy's leftover, excepted) as unrecorded, and adds a generation ("in-place")
// with a verified or failed entry for every file read. Unrecorded files are only reported, not
// recorded. progress(doneBytes, totalBytes) is called now and then; onLine for each line as it is
// found. A stop request ends the check early, without a generation.
VerifyReport VerifyExport(const QString& root, std::stop_token stop = {},
                          const std::function<void(qint64, qint64)>& progress = {},
                          const std::function<void(const VerifyLine&)>& onLine = {});

// The check for the command line (--verify OUT): one line per file on out ("正确\tpath", with the
// hashes after a mismatch), a summary on err. Returns 0 when every file is right, 1 when any is
// not, 2 when root is no folder or holds no record that can be read.
int RunVerifyCommand(const QString& root, QTextStream& out, QTextStream& err);
