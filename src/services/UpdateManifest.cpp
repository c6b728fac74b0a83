#include "services/UpdateManifest.h"

#include "core/Helpers.h"
#include "services/IniFile.h"
#include "services/JsonText.h"

#include <nlohmann/json.hpp>
#include <vector>

namespace {

// The manifest's fixed place on the maker's web site.
const QString kManifestPath = QStringLiteral("/rezuvadev/Json.txt");

// ordered_json keeps the members of "File" in the order of the body.
using Json = nlohmann::ordered_json;

} // namespace

bool ParseUpdateInfo(const QString& body, TUPdateInfo& info)
{
    info.Text = body;
    if (body.isEmpty())
        return false;
    const Json manifest = Json::parse(body.toStdString(), nullptr, false);
    if (manifest.is_discarded() || !manifest.is_object())
        return false;

    struct Field {
        std::initializer_list<const char*> path;
        QString* target;
    };
    const Field fields[] = {
        {{"VERSION", "TIME"}, &info.Version.ID},      {{"VERSION", "VERSION"}, &info.Version.NR},
        {{"VERSION", "FORCEUPDATE"}, &info.Version.NR2}, {{"VERSION", "TEXT"}, &info.Version.NR3},
        {{"Notice", "ID"}, &info.Notice.ID},          {{"Notice", "TIMEOUT"}, &info.Notice.NR},
        {{"Notice", "TEXT"}, &info.Notice.NR2},
    };
    for (const Field& field : fields) {
        const auto text = JsonText(manifest, field.path);
        if (!text)
            return false;
        *field.target = *text;
    }

    info.FILELIST.clear();
    const auto files = manifest.find("File");
    if (files == manifest.end() || !files->is_object())
        return false;
    for (const auto& [name, file] : files->items()) {
        const auto time = JsonText(file, {"TIME"});
        const auto md5 = JsonText(file, {"MD5"});
        if (!time || !md5) {
            info.FILELIST.clear();
            return false;
        }
        info.FILELIST.append({*time, *md5, QString::fromStdString(name), {}});
    }
    return !info.FILELIST.isEmpty();
}

bool ReadUpdateInfo(TUPdateInfo& info, const QString& url, const HttpOptions& options)
{
    return ParseUpdateInfo(HttpGet(url, true, options), info);
}

QString ManifestUrl(const IniFile& settings)
{
    QString site = TrimLowChars(settings.ReadString(QStringLiteral("UpdateUrl"), QStringLiteral("UpdateUrl"), {}));
    if (site.isEmpty() || site.endsWith(kManifestPath))
        return site;
    while (site.endsWith(u'/'))
        site.chop(1);
    return site + kManifestPath;
}

QStringList MemoLines(const QString& text)
{
    const int count = SplitStr(text, {}, u'#');
    std::vector<QString> pieces(static_cast<size_t>(count));
    SplitStr(text, pieces, u'#');
    QStringList lines;
    for (const QString& piece : pieces)
        lines << TrimLowChars(piece);
    return lines;
}

QString UpdaterFileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Update.exe");
#else
    return QStringLiteral("Update");
#endif
}
