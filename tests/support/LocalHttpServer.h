#pragma once
// A real HTTP server on 127.0.0.1 inside the test process, on a free port, for testing the
// program's HTTP client against answers the test chooses. Handlers are added before Start().

#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <httplib.h>
#include <mutex>
#include <thread>

class LocalHttpServer {
public:
    LocalHttpServer() { server_.set_keep_alive_max_count(1); }
    ~LocalHttpServer() { Stop(); }

    httplib::Server& server() { return server_; }

    // Answers GET requests for path with what handler writes, recording every request target.
    void Get(const std::string& path, std::function<void(const httplib::Request&, httplib::Response&)> handler)
    {
        server_.Get(path, [this, handler](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(mutex_);
                targets_ << QString::fromStdString(request.target);
                userAgents_ << QString::fromStdString(request.get_header_value("User-Agent"));
            }
            handler(request, response);
        });
    }

    void Start()
    {
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::yield();
    }

    void Stop()
    {
        if (thread_.joinable()) {
            server_.stop();
            thread_.join();
        }
    }

    QString BaseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }
    QStringList Targets() const
    {
        std::lock_guard lock(mutex_);
        return targets_;
    }
    QStringList UserAgents() const
    {
        std::lock_guard lock(mutex_);
        return userAgents_;
    }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    QStringList targets_;
    QStringList userAgents_;
};

// Answers held back until Release(), or until the holder goes: a service that accepts requests
// and does not answer. Declare it after the server, so that it lets the held handlers finish
// before the server waits for them.
class HeldAnswers {
public:
    HeldAnswers() = default;
    // Releases the waiting handlers and waits until each has left: a handler still waking up
    // would otherwise lock a mutex that is gone.
    ~HeldAnswers()
    {
        std::unique_lock lock(mutex_);
        release_ = true;
        released_.notify_all();
        released_.wait(lock, [this] { return waiting_ == 0; });
    }
    HeldAnswers(const HeldAnswers&) = delete;
    HeldAnswers& operator=(const HeldAnswers&) = delete;

    // A handler that waits for the release, then answers with body.
    std::function<void(const httplib::Request&, httplib::Response&)> Handler(std::string body = {},
                                                                              std::string type = "application/json")
    {
        return [this, body = std::move(body), type = std::move(type)](const httplib::Request&, httplib::Response& response) {
            std::unique_lock lock(mutex_);
            ++waiting_;
            released_.wait(lock, [this] { return release_; });
            response.set_content(body, type);
            --waiting_;
            released_.notify_all(); // before the unlock: the destructor may run right after it
        };
    }

    void Release()
    {
        {
            std::lock_guard lock(mutex_);
            release_ = true;
        }
        released_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool release_ = false; // guarded by mutex_
    int waiting_ = 0;      // handlers inside, guarded by mutex_
};
