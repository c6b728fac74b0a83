#pragma once
// Update manifests as the maker's web site serves them: GBK bytes of a JSON object, made from
// the few facts a test cares about.

#include "LocalHttpServer.h"

#include <QString>
#include <iconv.h>
#include <string>

// text in GBK (as the web site stores it).
inline std::string ToGbk(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    iconv_t convert = iconv_open("GBK", "UTF-8");
    std::string out(static_cast<size_t>(utf8.size()) * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.constData());
    size_t inLeft = static_cast<size_t>(utf8.size());
    char* outPtr = out.data();
    size_t outLeft = out.size();
    iconv(convert, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(convert);
    out.resize(out.size() - outLeft);
    return out;
}

struct ManifestFacts {
    QString version = QStringLiteral("1.0.0.1");
    QString minimum = QStringLiteral("1.0.0.0");
    QString notes = QStringLiteral("修复了导出#加快了扫描");
    QString noticeId = QStringLiteral("N1");
    QString timeout{}; // empty: no notice
    QString noticeText = QStringLiteral("第一行#第二行##  第三行 ");
};

// The JSON text of a manifest with one file entry.
inline QString ManifestJson(const ManifestFacts& facts)
{
    return QStringLiteral(R"({"VERSION":{"TIME":"2026-12-01","VERSION":"%1","FORCEUPDATE":"%2","TEXT":"%3"},)"
                          R"("Notice":{"ID":"%4","TIMEOUT":"%5","TEXT":"%6"},)"
                          R"("File":{"orvek-file":{"TIME":"2026-12-01 10:00:00","MD5":"0cc175b9c0f1b6a831c399e269772661"}}})")
        .arg(facts.version, facts.minimum, facts.notes, facts.noticeId, facts.timeout, facts.noticeText);
}

// Serves the manifest body (GBK) at the fixed path; the body can be changed while it runs.
class ManifestServer {
public:
    ManifestServer()
    {
        server_.Get("/rezuvadev/Json.txt", [this](const httplib::Request&, httplib::Response& response) {
            std::lock_guard lock(mutex_);
            response.set_content(body_, "text/plain");
        });
        server_.Start();
    }
    void Serve(const QString& json)
    {
        std::lock_guard lock(mutex_);
        body_ = ToGbk(json);
    }
    void Serve(const ManifestFacts& facts) { Serve(ManifestJson(facts)); }
    QString SiteUrl() const { return server_.BaseUrl(); }
    QString ManifestUrl() const { return server_.BaseUrl() + QStringLiteral("/rezuvadev/Json.txt"); }
    int Requests() const { return static_cast<int>(server_.Targets().size()); }

private:
    std::mutex mutex_;
    std::string body_; // guarded by mutex_
    LocalHttpServer server_; // last, so it stops before the body goes
};
