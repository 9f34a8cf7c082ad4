// A bare TCP server on 127.0.0.1 for what an HTTP library hides: the request exactly as it
// arrived (line order included), a reply written byte for byte, and a server that reads the
// request and then never answers. It serves one connection at a time, which is all the tests
// need.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavrin::testing_support {

class RawServer
{
public:
    // Answers every request with `reply` and closes the connection.
    [[nodiscard]] static RawServer replying(std::string reply);
    // Reads every request and never answers; the connection stays open until the client
    // closes it (or the server ends).
    [[nodiscard]] static RawServer silent();
    // Reads every request and resets the connection without a word.
    [[nodiscard]] static RawServer resetting();

    ~RawServer();
    RawServer(RawServer&&) = delete;
    RawServer& operator=(RawServer&&) = delete;

    [[nodiscard]] int port() const { return port_; }
    [[nodiscard]] std::string url(const std::string& path) const;

    // The requests received so far, each as its raw bytes (head and body).
    [[nodiscard]] std::vector<std::string> requests() const;
    // Waits until `count` requests have arrived; false when the wait ran out.
    [[nodiscard]] bool waitForRequests(std::size_t count, std::chrono::milliseconds limit) const;
    // Waits until a client has closed a silent connection; false when the wait ran out.
    [[nodiscard]] bool waitForClientClose(std::chrono::milliseconds limit) const;

private:
    enum class Mode
    {
        Reply,
        Silent,
        Reset,
    };
    RawServer(Mode mode, std::string reply);
    void serve();
    // Reads one request (head and Content-Length body); empty when the client closed first.
    std::string readRequest(int connection);
    void holdUntilClosed(int connection);

    const Mode mode_;
    const std::string reply_;
    int listener_ = -1;
    int wakePipe_[2] = {-1, -1};
    int port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> requests_; // guarded by mutex_
    int closedByClient_ = 0;            // guarded by mutex_
    std::thread thread_;
};

} // namespace tavrin::testing_support
