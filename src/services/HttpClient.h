#pragma once
// The program's one HTTP GET: a fresh client per call, redirects followed, User-Agent
// "Mozilla/5.0". Failures become an empty text; nothing is reported.

#include <QString>
#include <stop_token>

struct HttpOptions {
    int connectTimeoutMs = 10000;
    int totalTimeoutMs = 30000;
    std::stop_token stop; // a stop request ends the transfer at once (empty text)
};

// The body of url decoded as GBK (gbk true) or UTF-8, or empty when anything fails: no
// connection, time-out, HTTP error status, a body that does not decode, a stop request.
QString HttpGet(const QString& url, bool gbk, const HttpOptions& options = {});

// GBK bytes as text; empty when they are not valid GBK.
QString DecodeGbk(const QByteArray& bytes);
