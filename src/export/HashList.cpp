#include "export/HashList.h"
#include "export/FileHash.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSysInfo>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include <xxhash.h>

namespace {

const QString kHashListNamespace = QStringLiteral("urn:ASC:MHL:v2.0");
const QString kChainNamespace = QStringLiteral("urn:ASC:MHL:DIRECTORY:v2.0");
// Our own element inside a hash's <metadata>: where on the card the file came from.
const QString kSourceNamespace = QStringLiteral("urn:orvek-file:export:v1");

QString Folder(const QString& root)
{
    return QDir(root).filePath(QString::fromLatin1(kHashListFolder));
}

// ISO 8601 in UTC to the second, with the offset written out ("+00:00") as other tools write it.
// Dates are written and read for every file of a generation, thousands at a time: the form this
// program writes ("2020-01-16T09:15:00+00:00") is made and read by hand, anything else by Qt.
QString DateText(const QDateTime& time)
{
    const QDateTime utc = time.toUTC();
    const QDate date = utc.date();
    const QTime clock = utc.time();
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d+00:00", date.year(), date.month(), date.day(), clock.hour(),
                             clock.minute(), clock.second());
}

QDateTime DateFromText(QStringView text)
{
    const auto number = [&](qsizetype at, qsizetype digits) {
        int value = 0;
        for (qsizetype i = at; i < at + digits; ++i) {
            if (!text[i].isDigit())
                return -1;
            value = value * 10 + text[i].digitValue();
        }
        return value;
    };
    const bool utcForm = (text.size() == 25 && text.sliced(19) == u"+00:00") || (text.size() == 20 && text[19] == u'Z');
    if (utcForm && text[4] == u'-' && text[7] == u'-' && text[10] == u'T' && text[13] == u':' && text[16] == u':') {
        const QDate date(number(0, 4), number(5, 2), number(8, 2));
        const QTime clock(number(11, 2), number(14, 2), number(17, 2));
        if (date.isValid() && clock.isValid())
            return QDateTime(date, clock, Qt::UTC);
    }
    return QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
}

const char* ActionText(HashedFile::Action action)
{
    switch (action) {
    case HashedFile::Action::Original:
        return "original";
    case HashedFile::Action::Verified:
        return "verified";
    case HashedFile::Action::Failed:
        return "failed";
    case HashedFile::Action::Known:
        break;
    }
    return nullptr;
}

HashedFile::Action ActionFromText(QStringView text)
{
    if (text == u"original")
        return HashedFile::Action::Original;
    if (text == u"verified")
        return HashedFile::Action::Verified;
    if (text == u"failed")
        return HashedFile::Action::Failed;
    return HashedFile::Action::Known; // no action: a hash carried over from an earlier run
}

// The number of a generation file's name ("0007_…_…Z.mhl"), or 0 for any other name.
int GenerationNumber(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{4,})_.*\\.mhl$"));
    const QRegularExpressionMatch match = pattern.match(name);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// The generation files in folder, by number.
QStringList GenerationFiles(const QDir& folder)
{
    QStringList names;
    for (const QString& name : folder.entryList({QStringLiteral("*.mhl")}, QDir::Files, QDir::Name))
        if (GenerationNumber(name) > 0)
            names << name;
    std::stable_sort(names.begin(), names.end(),
                     [](const QString& a, const QString& b) { return GenerationNumber(a) < GenerationNumber(b); });
    return names;
}

struct ChainEntry {
    int number = 0;
    QString path; // relative to the ascmhl folder
    QString c4;
};

// The generations the chain file lists, by number; false with error set when it cannot be read.
bool ReadChain(const QString& chainPath, QList<ChainEntry>* entries, QString* error)
{
    QFile file(chainPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取校验记录 %1：%2").arg(chainPath, file.errorString());
        return false;
    }
    QXmlStreamReader reader(&file);
    ChainEntry entry;
    bool inEntry = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            if (reader.name() == u"hashlist") {
                entry = ChainEntry{};
                entry.number = reader.attributes().value(QStringLiteral("sequencenr")).toInt();
                inEntry = true;
            } else if (inEntry && reader.name() == u"path") {
                entry.path = reader.readElementText();
            } else if (inEntry && reader.name() == u"c4") {
                entry.c4 = reader.readElementText();
            }
        } else if (reader.isEndElement() && reader.name() == u"hashlist" && inEntry) {
            entries->append(entry);
            inEntry = false;
        }
    }
    if (reader.hasError()) {
        *error = QStringLiteral("无法读取校验记录 %1：第 %2 行：%3")
                     .arg(chainPath)
                     .arg(reader.lineNumber())
                     .arg(reader.errorString());
        return false;
    }
    std::stable_sort(entries->begin(), entries->end(),
                     [](const ChainEntry& a, const ChainEntry& b) { return a.number < b.number; });
    return true;
}

// The file entries of one generation, in the order written; false with error set when the file
// cannot be read whole. Folder hashes are not needed to check files and are passed over, as are
// entries without an XXH64 (another tool may record only other hashes).
bool ReadGeneration(const QString& path, QList<HashedFile>* files, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取校验记录 %1：%2").arg(path, file.errorString());
        return false;
    }
    QXmlStreamReader reader(&file);
    HashedFile entry;
    bool inHash = false;
    bool hasXxh64 = false;
    bool sawRoot = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const QStringView name = reader.name();
            if (!sawRoot) {
                if (name != u"hashlist") {
                    *error = QStringLiteral("无法读取校验记录 %1：不是 ASC MHL 文件").arg(path);
                    return false;
                }
                sawRoot = true;
            } else if (name == u"hash") {
                entry = HashedFile{};
                inHash = true;
                hasXxh64 = false;
            } else if (inHash && name == u"path") {
                const QXmlStreamAttributes attributes = reader.attributes();
                entry.size = attributes.value(QStringLiteral("size")).toLongLong();
                entry.modified = DateFromText(attributes.value(QStringLiteral("lastmodificationdate")));
                entry.path = reader.readElementText();
            } else if (inHash && name == u"xxh64") {
                const QXmlStreamAttributes attributes = reader.attributes();
                entry.action = ActionFromText(attributes.value(QStringLiteral("action")));
                entry.hashDate = DateFromText(attributes.value(QStringLiteral("hashdate")));
                entry.xxh64 = reader.readElementText().trimmed().toLower();
                hasXxh64 = true;
            } else if (inHash && name == u"source" && reader.namespaceUri() == kSourceNamespace) {
                entry.source = reader.readElementText();
            }
        } else if (reader.isEndElement() && inHash && reader.name() == u"hash") {
            if (hasXxh64 && !entry.path.isEmpty())
                files->append(entry);
            inHash = false;
        }
    }
    if (reader.hasError() || !sawRoot) {
        *error = QStringLiteral("无法读取校验记录 %1：第 %2 行：%3")
                     .arg(path)
                     .arg(reader.lineNumber())
                     .arg(reader.hasError() ? reader.errorString() : QStringLiteral("文件是空的"));
        return false;
    }
    return true;
}

// The files of a generation as a tree of folders, to combine folder hashes from the bottom up
// and to write each folder's hash after its contents.
struct Node {
    const HashedFile* file = nullptr; // set for a file
    std::map<QString, std::unique_ptr<Node>> children; // by name
    FolderHashes hashes; // for a folder, once computed
};

FolderHashes ComputeHashes(Node& folder)
{
    QList<FolderChild> children;
    for (auto& [name, child] : folder.children) {
        if (child->file) {
            const uint64_t hash = *Xxh64FromHex(child->file->xxh64);
            children.append({name, hash, hash});
        } else {
            child->hashes = ComputeHashes(*child);
            children.append({name, child->hashes.content, child->hashes.structure});
        }
    }
    return HashFolder(children);
}

void WriteHashElement(QXmlStreamWriter& xml, uint64_t value, const QString& hashDate)
{
    xml.writeStartElement(QStringLiteral("xxh64"));
    xml.writeAttribute(QStringLiteral("hashdate"), hashDate);
    xml.writeCharacters(Xxh64Hex(value));
    xml.writeEndElement();
}

void WriteContentAndStructure(QXmlStreamWriter& xml, const FolderHashes& hashes, const QString& hashDate)
{
    xml.writeStartElement(QStringLiteral("content"));
    WriteHashElement(xml, hashes.content, hashDate);
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("structure"));
    WriteHashElement(xml, hashes.structure, hashDate);
    xml.writeEndElement();
}

void WriteFile(QXmlStreamWriter& xml, const HashedFile& file)
{
    xml.writeStartElement(QStringLiteral("hash"));
    xml.writeStartElement(QStringLiteral("path"));
    xml.writeAttribute(QStringLiteral("size"), QString::number(file.size));
    if (file.modified.isValid())
        xml.writeAttribute(QStringLiteral("lastmodificationdate"), DateText(file.modified));
    xml.writeCharacters(file.path);
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("xxh64"));
    if (const char* action = ActionText(file.action))
        xml.writeAttribute(QStringLiteral("action"), QString::fromLatin1(action));
    if (file.hashDate.isValid())
        xml.writeAttribute(QStringLiteral("hashdate"), DateText(file.hashDate));
    xml.writeCharacters(file.xxh64.toLower());
    xml.writeEndElement();
    if (!file.source.isEmpty()) {
        // Any element of another namespace may stand in <metadata>.
        xml.writeStartElement(QStringLiteral("metadata"));
        xml.writeStartElement(QStringLiteral("source"));
        xml.writeDefaultNamespace(kSourceNamespace);
        xml.writeCharacters(file.source);
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

// The folder's contents, each subfolder's hash after its own contents.
void WriteFolder(QXmlStreamWriter& xml, const Node& folder, const QString& prefix, const QString& root,
                 const QString& hashDate)
{
    for (const auto& [name, child] : folder.children) {
        if (child->file) {
            WriteFile(xml, *child->file);
            continue;
        }
        const QString path = prefix + name;
        WriteFolder(xml, *child, path + QLatin1Char('/'), root, hashDate);
        xml.writeStartElement(QStringLiteral("directoryhash"));
        xml.writeStartElement(QStringLiteral("path"));
        const QFileInfo info(QDir(root).filePath(path));
        if (info.isDir())
            xml.writeAttribute(QStringLiteral("lastmodificationdate"), DateText(info.lastModified()));
        xml.writeCharacters(path);
        xml.writeEndElement();
        WriteContentAndStructure(xml, child->hashes, hashDate);
        xml.writeEndElement();
    }
}

QByteArray GenerationXml(const QString& root, const GenerationInfo& info, const QList<HashedFile>& files)
{
    Node top;
    for (const HashedFile& file : files) {
        Node* node = &top;
        const QStringList parts = file.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        for (const QString& part : parts) {
            std::unique_ptr<Node>& child = node->children[part];
            if (!child)
                child = std::make_unique<Node>();
            node = child.get();
        }
        node->children.clear(); // a path named twice: the later entry is the one written
        node->file = &file;
    }
    // The folder hashes cover the files this generation lists, not whatever else the folders
    // hold: an export records only the files it handled, and a check only those it re-read.
    const FolderHashes rootHashes = ComputeHashes(top);
    const QString now = DateText(QDateTime::currentDateTimeUtc());

    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("hashlist"));
    xml.writeDefaultNamespace(kHashListNamespace);
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));

    xml.writeStartElement(QStringLiteral("creatorinfo"));
    xml.writeTextElement(QStringLiteral("creationdate"), now);
    xml.writeTextElement(QStringLiteral("hostname"),
                         info.hostName.isEmpty() ? QSysInfo::machineHostName() : info.hostName);
    xml.writeStartElement(QStringLiteral("tool"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral(ORVEK_VERSION_TEXT));
    xml.writeCharacters(QStringLiteral("ORVEK-FILE"));
    xml.writeEndElement();
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("processinfo"));
    xml.writeTextElement(QStringLiteral("process"), info.process);
    xml.writeStartElement(QStringLiteral("roothash"));
    WriteContentAndStructure(xml, rootHashes, now);
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("ignore"));
    xml.writeTextElement(QStringLiteral("pattern"), QStringLiteral("ascmhl"));
    xml.writeTextElement(QStringLiteral("pattern"), QStringLiteral("ascmhl/"));
    xml.writeEndElement();
    xml.writeEndElement();

    if (!top.children.empty()) { // <hashes> may not be empty
        xml.writeStartElement(QStringLiteral("hashes"));
        WriteFolder(xml, top, QString(), root, now);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    bytes.append('\n');
    return bytes;
}

QByteArray ChainXml(const QList<ChainEntry>& entries)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("ascmhldirectory"));
    xml.writeDefaultNamespace(kChainNamespace);
    for (const ChainEntry& entry : entries) {
        xml.writeStartElement(QStringLiteral("hashlist"));
        xml.writeAttribute(QStringLiteral("sequencenr"), QString::number(entry.number));
        xml.writeTextElement(QStringLiteral("path"), entry.path);
        xml.writeTextElement(QStringLiteral("c4"), entry.c4);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    bytes.append('\n');
    return bytes;
}

bool SaveWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("无法写入校验记录 %1：%2").arg(path, file.errorString());
    return false;
}

} // namespace

FolderHashes HashFolder(const QList<FolderChild>& children)
{
    // Content: the children's hashes, sorted as bytes. Structure: per child, the hash of its
    // name followed by its structure hash, those hashes sorted as bytes; so renaming a file
    // changes the structure and not the content.
    QList<QByteArray> contents;
    QList<QByteArray> structures;
    for (const FolderChild& child : children) {
        contents.append(Xxh64Bytes(child.content));
        const QByteArray named = child.name.toUtf8() + Xxh64Bytes(child.structure);
        structures.append(Xxh64Bytes(Xxh64Of(named.constData(), size_t(named.size()))));
    }
    std::sort(contents.begin(), contents.end());
    std::sort(structures.begin(), structures.end());
    const QByteArray content = contents.join();
    const QByteArray structure = structures.join();
    return {Xxh64Of(content.constData(), size_t(content.size())),
            Xxh64Of(structure.constData(), size_t(structure.size()))};
}

QString C4Id(const QByteArray& bytes)
{
    static constexpr char kAlphabet[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
    QByteArray number = QCryptographicHash::hash(bytes, QCryptographicHash::Sha512);
    QByteArray digits;
    // Long division of the big-endian number by 58 until nothing is left.
    for (qsizetype first = 0; first < number.size();) {
        unsigned remainder = 0;
        for (qsizetype i = first; i < number.size(); ++i) {
            const unsigned current = (remainder << 8) | uint8_t(number[i]);
            number[i] = char(current / 58);
            remainder = current % 58;
        }
        digits.prepend(kAlphabet[remainder]);
        while (first < number.size() && number[first] == 0)
            ++first;
    }
    return QStringLiteral("c4") + QString::fromLatin1(digits).rightJustified(88, QLatin1Char('1'));
}

void HashHistory::Add(HashedFile entry)
{
    const auto earlier = latest_.constFind(entry.path);
    // A later check (ours, or another tool's without our metadata) keeps where the file came from.
    if (entry.source.isEmpty() && entry.action != HashedFile::Action::Original && earlier != latest_.cend())
        entry.source = earlier->source;
    if (entry.action != HashedFile::Action::Failed)
        expected_.insert(entry.path, entry);
    latest_.insert(entry.path, entry);
}

HashHistory HashHistory::Load(const QString& root, QString* error)
{
    HashHistory history;
    QString problem;
    const QDir folder(Folder(root));
    if (folder.exists()) {
        QStringList names;
        const QString chainPath = folder.filePath(QString::fromLatin1(kChainFileName));
        QList<ChainEntry> chain;
        if (QFileInfo::exists(chainPath) && ReadChain(chainPath, &chain, &problem)) {
            for (const ChainEntry& entry : std::as_const(chain))
                names << entry.path;
        } else {
            names = GenerationFiles(folder);
        }
        for (const QString& name : std::as_const(names)) {
            QList<HashedFile> files;
            QString unreadable;
            if (!ReadGeneration(folder.filePath(name), &files, &unreadable)) {
                problem = problem.isEmpty() ? unreadable : problem + QLatin1Char('\n') + unreadable;
                continue;
            }
            for (HashedFile& file : files)
                history.Add(std::move(file));
            ++history.generations_;
        }
        for (auto it = history.latest_.cbegin(); it != history.latest_.cend(); ++it)
            if (!it->source.isEmpty())
                history.pathsOfSource_.insert(it->source, it.key());
    }
    if (error)
        *error = problem;
    return history;
}

std::optional<HashedFile> HashHistory::Find(const QString& path) const
{
    const auto it = latest_.constFind(path);
    return it == latest_.cend() ? std::nullopt : std::optional<HashedFile>(*it);
}

std::optional<HashedFile> HashHistory::Expected(const QString& path) const
{
    const auto it = expected_.constFind(path);
    return it == expected_.cend() ? std::nullopt : std::optional<HashedFile>(*it);
}

QList<HashedFile> HashHistory::FromSource(const QString& source, qint64 size) const
{
    QList<HashedFile> found;
    for (auto it = pathsOfSource_.constFind(source); it != pathsOfSource_.cend() && it.key() == source; ++it) {
        const HashedFile& file = latest_[it.value()];
        if (file.size == size)
            found.append(file);
    }
    std::sort(found.begin(), found.end(), [](const HashedFile& a, const HashedFile& b) { return a.path < b.path; });
    return found;
}

QList<HashedFile> HashHistory::files() const
{
    QList<HashedFile> all = latest_.values();
    std::sort(all.begin(), all.end(), [](const HashedFile& a, const HashedFile& b) { return a.path < b.path; });
    return all;
}

std::optional<QString> WriteGeneration(const QString& root, const GenerationInfo& info, const QList<HashedFile>& files,
                                       QString* error)
{
    QString problem;
    const auto fail = [&](const QString& what) {
        if (error)
            *error = what;
        return std::nullopt;
    };
    for (const HashedFile& file : files)
        if (!Xxh64FromHex(file.xxh64) || file.path.isEmpty())
            return fail(QStringLiteral("无法写入校验记录：%1 的校验值“%2”无效").arg(file.path, file.xxh64));

    const QDir folder(Folder(root));
    if (!folder.mkpath(QStringLiteral(".")))
        return fail(QStringLiteral("无法写入校验记录 %1：无法创建文件夹").arg(folder.path()));

    // The generations so far: from the chain, or when there is none yet (the folder came from
    // a tool that keeps none), from the generation files themselves.
    const QString chainPath = folder.filePath(QString::fromLatin1(kChainFileName));
    QList<ChainEntry> chain;
    if (QFileInfo::exists(chainPath)) {
        // A chain that cannot be read is not replaced: that would drop the generations it lists.
        if (!ReadChain(chainPath, &chain, &problem))
            return fail(problem);
    } else {
        for (const QString& name : GenerationFiles(folder)) {
            QFile file(folder.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                return fail(QStringLiteral("无法读取校验记录 %1：%2").arg(file.fileName(), file.errorString()));
            chain.append({GenerationNumber(name), name, C4Id(file.readAll())});
        }
    }
    int last = 0;
    for (const ChainEntry& entry : std::as_const(chain))
        last = std::max(last, entry.number);
    for (const QString& name : GenerationFiles(folder))
        last = std::max(last, GenerationNumber(name));

    QList<HashedFile> sorted = files;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const HashedFile& a, const HashedFile& b) { return a.path < b.path; });
    const QDateTime start = info.start.isValid() ? info.start : QDateTime::currentDateTimeUtc();
    const QString rootName = QFileInfo(QDir(root).absolutePath()).fileName();
    const QString name = QStringLiteral("%1_%2_%3Z.mhl")
                             .arg(last + 1, 4, 10, QLatin1Char('0'))
                             .arg(rootName, start.toUTC().toString(QStringLiteral("yyyy-MM-dd_HHmmss")));
    const QString path = folder.filePath(name);
    const QByteArray generation = GenerationXml(root, info, sorted);
    if (!SaveWhole(path, generation, &problem))
        return fail(problem);
    chain.append({last + 1, name, C4Id(generation)});
    if (!SaveWhole(chainPath, ChainXml(chain), &problem)) {
        QFile::remove(path); // told that nothing was written, the caller finds nothing written
        return fail(problem);
    }
    return path;
}
