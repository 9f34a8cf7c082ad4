// A bare TCP server on 127.0.0.1 for what an HTTP library hides: the request exactly as it
// arrived (line order included), a reply written byte for byte, a server that reads the
// request and then never answers, and servers that misbehave on a script of their own. It
// serves one connection at a time, which is all the tests need.
#pragma once

#include "support/test_socket.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavrin::testing_support {

class RawServer;

// One accepted connection as a script drives it. Every step gives up (false) once the client
// has gone or the server is ending, so a script that would go on forever still ends with its
// server. Server thread only.
class ScriptedConnection
{
public:
    // Reads one request (head and Content-Length body); false when the client closed first.
    bool readRequest();
    // Writes all of `bytes`; false when the client has gone or the server is ending.
    bool send(std::string_view bytes);
    // Waits; false when the client closed meanwhile or the server is ending.
    bool pause(std::chrono::milliseconds time);
    // Waits until the client closes (true) or the server ends (false), saying nothing.
    bool holdUntilClosed();
    // When the script ends, the connection is reset instead of closed in order.
    void resetOnClose() { reset_ = true; }

private:
    friend class RawServer;
    ScriptedConnection(RawServer& server, SocketHandle socket)
        : server_(server)
        , socket_(socket)
    {}
    // Notes that the client has gone, once.
    void clientGone();

    RawServer& server_;
    SocketHandle socket_;
    bool reset_ = false;
    bool gone_ = false;
};

class RawServer
{
public:
    using Script = std::function<void(ScriptedConnection&)>;

    // Answers every request with `reply` and closes the connection.
    [[nodiscard]] static RawServer replying(std::string reply);
    // Reads every request and never answers; the connection stays open until the client
    // closes it (or the server ends).
    [[nodiscard]] static RawServer silent();
    // Reads every request and resets the connection without a word.
    [[nodiscard]] static RawServer resetting();
    // Runs `script` on every connection (without reading the request first), then closes it.
    [[nodiscard]] static RawServer scripted(Script script);

    ~RawServer();
    RawServer(RawServer&&) = delete;
    RawServer& operator=(RawServer&&) = delete;

    [[nodiscard]] int port() const { return port_; }
    [[nodiscard]] std::string url(const std::string& path) const;

    // The requests received so far, each as its raw bytes (head and body).
    [[nodiscard]] std::vector<std::string> requests() const;
    // Waits until `count` requests have arrived; false when the wait ran out.
    [[nodiscard]] bool waitForRequests(std::size_t count, std::chrono::milliseconds limit) const;
    // Waits until a client has closed a silent (or scripted) connection; false when the wait
    // ran out.
    [[nodiscard]] bool waitForClientClose(std::chrono::milliseconds limit) const;

private:
    friend class ScriptedConnection;
    enum class Mode
    {
        Reply,
        Silent,
        Reset,
        Script,
    };
    RawServer(Mode mode, std::string reply, Script script = {});
    void serve();
    void runScript(SocketHandle connection);
    // Reads one request (head and Content-Length body); empty when the client closed first.
    std::string readRequest(SocketHandle connection);
    void holdUntilClosed(SocketHandle connection);
    void noteRequest(std::string request);
    void noteClientClose();

    const Mode mode_;
    const std::string reply_;
    const Script script_;
    SocketHandle listener_ = kNoSocket;
    WakeSignal ending_; // raised when the server ends
    int port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> requests_; // guarded by mutex_
    int closedByClient_ = 0;            // guarded by mutex_
    std::thread thread_;
};

} // namespace tavrin::testing_support
