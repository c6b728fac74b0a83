#pragma once
// The hash list kept beside an export (ASC MHL v2.0): every run adds one generation file to
// OUT/ascmhl/ naming each file it copied, found or checked with its size, modification time and
// XXH64, and the chain file ascmhl/ascmhl_chain.xml lists the generations with the c4 id of each,
// so anyone can check the copies again years later with any tool that reads such lists.

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QMultiHash>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// One file of a generation.
struct HashedFile {
    enum class Action {
        Original, // hashed for the first time
        Verified, // hashed again and equal to what an earlier generation recorded
        Failed,   // hashed again and different
        Known,    // not read this time (its size and time match the record): the earlier hash,
                  // written with its own hash date and without an action
    };
    QString path;       // relative to the root folder, "/" between folders
    qint64 size = 0;
    QDateTime modified; // the file's modification time
    QString xxh64;      // 16 lowercase hex digits
    QDateTime hashDate; // when that hash was taken
    Action action = Action::Original;
    QString source;     // where the file came from, relative to the card (empty: not known)
};

// What the generations already in root/ascmhl say: the latest entry of every path.
class HashHistory {
public:
    // Reads every generation the chain lists (or, without a chain, every generation file), in
    // order. A root without ascmhl/ has an empty history; an unreadable generation is an error
    // in Chinese, and what could be read is kept.
    static HashHistory Load(const QString& root, QString* error = nullptr);

    int generations() const { return generations_; }
    // The latest entry of this root-relative path; nothing when no generation names it.
    std::optional<HashedFile> Find(const QString& path) const;
    // The latest entry of this path whose hash was not a failed check: the hash the file should
    // have. After a failed check Find gives the failed entry (with the hash then read), and
    // this one the hash recorded before it; nothing when every entry of the path failed.
    std::optional<HashedFile> Expected(const QString& path) const;
    // The latest entries recorded as copies of this card-relative source, of this size, in path
    // order; an entry whose last check failed is among them, its action says so.
    QList<HashedFile> FromSource(const QString& source, qint64 size) const;
    // Every path's latest entry, in path order.
    QList<HashedFile> files() const;

private:
    void Add(HashedFile entry);

    int generations_ = 0;
    QHash<QString, HashedFile> latest_;
    QHash<QString, HashedFile> expected_;
    QMultiHash<QString, QString> pathsOfSource_; // source -> paths whose latest entry names it
};

// Who wrote a generation, and when the run began.
struct GenerationInfo {
    QString process = QStringLiteral("transfer"); // "transfer" for an export, "in-place" for a check
    QDateTime start;                              // the start of the run (written in UTC)
    QString hostName;                             // the machine's name; empty: asked of the system
};

// The folder of the generations and the chain file, and the chain file's name.
inline constexpr char kHashListFolder[] = "ascmhl";
inline constexpr char kChainFileName[] = "ascmhl_chain.xml";

// Writes the next generation of root/ascmhl: "NNNN_<root's folder name>_YYYY-MM-DD_HHMMSSZ.mhl"
// numbered after the last one, listing files (sorted by path) with the content and structure
// hash of every folder that holds one and of the root, and adds it to the chain file with its
// c4 id. Both files are written whole or not at all. Gives the generation's path, or nothing
// with error (in Chinese) set.
std::optional<QString> WriteGeneration(const QString& root, const GenerationInfo& info, const QList<HashedFile>& files,
                                       QString* error);

// The c4 id of bytes: "c4" and the base58 of their SHA-512, padded to 90 characters.
QString C4Id(const QByteArray& bytes);

// The content and structure hash of a folder, from its children: for a file, its name and its
// XXH64; for a folder, its name and its own two hashes.
struct FolderHashes {
    uint64_t content = 0;
    uint64_t structure = 0;
};
struct FolderChild {
    QString name;
    uint64_t content = 0;
    uint64_t structure = 0; // a file's is its content hash
};
FolderHashes HashFolder(const QList<FolderChild>& children);
