// An HTTP server of the test's own on 127.0.0.1, on a port the system picks, served from a
// thread of its own while the object lives (tls_local_server.h serves HTTPS).
#pragma once

#include <httplib.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace tavrin::testing_support {

// cpp-httplib listens with a backlog of 5: with dozens of clients connecting at once the
// kernel drops connection attempts and the clients retry a second later. Listening again on
// the bound socket raises the backlog.
template <typename Base> class WideBacklog : public Base
{
public:
    using Base::Base;
    void widenBacklog() { ::listen(this->svr_sock_, SOMAXCONN); }
};

class LocalServer
{
public:
    // Serves plain HTTP.
    LocalServer()
        : LocalServer(std::make_unique<WideBacklog<httplib::Server>>(), "http")
    {}
    ~LocalServer() { stop(); }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    // Routes are added before start().
    [[nodiscard]] httplib::Server& routes() { return *server_; }

    void start()
    {
        port_ = server_->bind_to_any_port("127.0.0.1");
        if (port_ <= 0)
            throw std::runtime_error("the test server could not bind to 127.0.0.1");
        widenBacklog_();
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        while (!server_->is_running())
            std::this_thread::yield();
    }

    void stop()
    {
        if (thread_.joinable()) {
            server_->stop();
            thread_.join();
        }
    }

    [[nodiscard]] int port() const { return port_; }
    [[nodiscard]] std::string url(const std::string& path) const
    {
        return scheme_ + "://127.0.0.1:" + std::to_string(port_) + path;
    }

protected:
    template <typename Server>
    LocalServer(std::unique_ptr<WideBacklog<Server>> server, std::string scheme)
        : widenBacklog_([raw = server.get()] { raw->widenBacklog(); })
        , server_(std::move(server))
        , scheme_(std::move(scheme))
    {
        // Enough threads for every concurrent test client; one request per connection, so
        // stopping the server never waits for an idle keep-alive connection to time out.
        server_->new_task_queue = [] { return new httplib::ThreadPool(64); };
        server_->set_keep_alive_max_count(1);
    }

private:
    std::function<void()> widenBacklog_;
    std::unique_ptr<httplib::Server> server_;
    std::string scheme_;
    int port_ = 0;
    std::thread thread_;
};

} // namespace tavrin::testing_support
