#include "services/HttpClient.h"

#include <QStringDecoder>
#include <curl/curl.h>
#include <iconv.h>
#include <mutex>
#include <string>

namespace {

constexpr size_t kMaxBodyBytes = 8 * 1024 * 1024; // no answer of ours is near this

struct Transfer {
    std::string body;
    std::stop_token stop;
};

size_t AppendBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (transfer->body.size() + bytes > kMaxBodyBytes)
        return 0; // ends the transfer as failed
    transfer->body.append(data, bytes);
    return bytes;
}

int CheckStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Transfer*>(user)->stop.stop_requested() ? 1 : 0;
}

void InitialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

QString DecodeGbk(const QByteArray& bytes)
{
    iconv_t converter = iconv_open("UTF-16LE", "GBK");
    if (converter == iconv_t(-1))
        return {};
    QByteArray utf16(bytes.size() * 2 + 2, '\0');
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char* out = utf16.data();
    size_t outLeft = size_t(utf16.size());
    const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (result == size_t(-1) || inLeft != 0)
        return {};
    const qsizetype written = utf16.size() - qsizetype(outLeft);
    return QString(reinterpret_cast<const QChar*>(utf16.constData()), written / 2);
}

QString HttpGet(const QString& url, bool gbk, const HttpOptions& options)
{
    InitialiseCurlOnce();
    CURL* curl = curl_easy_init();
    if (!curl)
        return {};
    Transfer transfer{{}, options.stop};
    const QByteArray address = url.toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/5.0");
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L); // an HTTP error status is a failure
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(options.connectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(options.totalTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckStop);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (code != CURLE_OK)
        return {};

    const QByteArray body = QByteArray::fromStdString(transfer.body);
    if (gbk)
        return DecodeGbk(body);
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8.decode(body);
    return utf8.hasError() ? QString() : text;
}
