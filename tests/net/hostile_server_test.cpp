// Servers that misbehave, each on 127.0.0.1: whatever the other end does, the check of a row ends
// with its mark within the time limit, memory stays bounded, and every thread and socket that a
// pass used is given back.
//
// The marks follow the response rules: no response (nothing in time, a reply that is not HTTP,
// too many redirects, a header that never ends) is "×"; a response whose body breaks off or
// misbehaves after a complete header counts with the bytes received so far, so a 200 is "√".
#include "net/http_transfer.h"
#include "net/tls_trust.h"
#include "platform/headless/memory_controls.h"
#include "submit/http_row_check.h"
#include "submit/submission_engine.h"
#include "support/process_resources.h"
#include "support/raw_server.h"
#include "support/row_checks.h"
#include "support/test_certificates.h"
#include "text/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>

namespace tavrin::submit {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing_support::RawServer;
using testing_support::ScriptedConnection;
using Script = RawServer::Script;

// The bounds are about ending at all, not about speed: a check may end up to kMargin past its
// limit, which leaves room for sanitizer builds. Cases that the limit ends get a short one, so
// they stay quick; cases that end by themselves get a long one that they never wait for, so a
// slow or busy machine does not turn their own ending into a timeout.
constexpr int kShortLimitSeconds = 2;
constexpr int kLongLimitSeconds = 10;
constexpr auto kMargin = 2s;

// --- what the servers do -----------------------------------------------------------------------

// Reads the request, sends `head`, then `piece` again and again, `every` apart, until the
// client leaves.
Script sendForever(const std::string& head, const std::string& piece, std::chrono::milliseconds every)
{
    return [=](ScriptedConnection& connection) {
        if (!connection.readRequest() || !connection.send(head))
            return;
        while (connection.send(piece) && connection.pause(every)) {
        }
    };
}

// Reads the request, sends `reply` and closes the connection.
Script replyThenClose(const std::string& reply)
{
    return [=](ScriptedConnection& connection) {
        if (connection.readRequest())
            (void)connection.send(reply);
    };
}

// Reads the request, sends `reply`, and resets the connection a moment later (once the bytes
// have reached the client).
Script replyThenReset(const std::string& reply)
{
    return [=](ScriptedConnection& connection) {
        if (connection.readRequest() && connection.send(reply))
            (void)connection.pause(100ms);
        connection.resetOnClose();
    };
}

// Reads the request, sends `reply`, and keeps the connection open until the client leaves.
Script replyThenHold(const std::string& reply)
{
    return [=](ScriptedConnection& connection) {
        if (connection.readRequest() && connection.send(reply))
            (void)connection.holdUntilClosed();
    };
}

// Answers every request on the connection with a redirect to the same place.
Script redirectForever(bool keepAlive)
{
    return [=](ScriptedConnection& connection) {
        while (connection.readRequest()) {
            if (!connection.send("HTTP/1.1 302 Found\r\nLocation: /again\r\nContent-Length: 0\r\n" +
                                 std::string(keepAlive ? "" : "Connection: close\r\n") + "\r\n") ||
                !keepAlive)
                return;
        }
    };
}

// Speaks first, as an SSH server does; then either holds the connection without a word or
// reads the request and complains about it.
Script bannerFirst(const std::string& banner, bool holdAfterwards)
{
    return [=](ScriptedConnection& connection) {
        if (!connection.send(banner))
            return;
        if (holdAfterwards) {
            (void)connection.holdUntilClosed();
            return;
        }
        if (connection.readRequest())
            (void)connection.send("Invalid SSH identification string.\r\n");
    };
}

// Takes the connection and never says a word (for a TLS handshake: no server hello).
Script neverSpeak()
{
    return [](ScriptedConnection& connection) { (void)connection.holdUntilClosed(); };
}

std::string tenThousandHeaderLines()
{
    std::string reply = "HTTP/1.1 200 OK\r\n";
    char line[32];
    for (int i = 0; i < 10000; ++i) {
        std::snprintf(line, sizeof line, "X-Line-%05d: v\r\n", i);
        reply += line;
    }
    return reply + "Content-Length: 2\r\nConnection: close\r\n\r\nok";
}

std::string binaryGarbage()
{
    std::string garbage;
    for (int i = 0; i < 512; ++i)
        garbage += static_cast<char>((i * 151 + 7) & 0xFF);
    return garbage;
}

// --- the cases ---------------------------------------------------------------------------------

enum class Ending
{
    AtTheLimit, // nothing usable arrives in time: the limit ends the check
    Early,      // the server's behaviour ends the check before the limit
};

struct HostileCase
{
    std::string label;
    std::function<Script()> script;
    bool succeeds = false; // the mark: "√" or "×"
    int status = 0;        // the status of the response that decided the mark; 0 for none
    Ending ending = Ending::Early;
    // The server never closes by itself: the client must let go of the connection.
    bool clientMustLeave = false;
    bool https = false;
};

void PrintTo(const HostileCase& row, std::ostream* os)
{
    *os << row.label;
}

const std::string kHead200Close = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";

int limitSecondsFor(const HostileCase& row)
{
    return row.ending == Ending::AtTheLimit ? kShortLimitSeconds : kLongLimitSeconds;
}

std::vector<HostileCase> hostileCases()
{
    const std::string filler = "X-Filler: " + std::string(1000, 'a') + "\r\n";
    return {
        {"HeaderLinesForeverFast", [=] { return sendForever("HTTP/1.1 200 OK\r\n", filler, 0ms); }, false, 0,
         Ending::Early, true},
        {"HeaderLinesForeverSlow", [] { return sendForever("HTTP/1.1 200 OK\r\n", "X-Slow: 1\r\n", 100ms); },
         false, 0, Ending::AtTheLimit, true},
        // Every line looks like the start of another response.
        {"StatusLinesForever", [] { return sendForever("HTTP/1.1 200 OK\r\n", "HTTP/1.1 200 OK\r\n", 0ms); },
         false, 0, Ending::Early, true},
        {"InterimResponsesForever",
         [] {
             std::string interims;
             for (int i = 0; i < 100; ++i)
                 interims += "HTTP/1.1 100 Continue\r\n\r\n";
             return sendForever(interims, interims, 0ms);
         },
         false, 0, Ending::Early, true},
        {"InterimResponseThenClose", [] { return replyThenClose("HTTP/1.1 100 Continue\r\n\r\n"); }, false,
         0},
        {"BodyTricklesOneByteASecond",
         [] { return sendForever("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", "x", 1000ms); }, false, 0,
         Ending::AtTheLimit, true},
        // Cut at the body cap: a response, with the first bytes as its body.
        {"BodyWithoutEndFast",
         [] { return sendForever(kHead200Close, std::string(std::size_t{64} * 1024, 'x'), 0ms); }, true, 200,
         Ending::Early, true},
        {"ContentLengthLongerThanTheBody",
         [] { return replyThenClose("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n<html>partial"); },
         true, 200},
        {"ContentLengthShorterThanTheBody",
         [] { return replyThenClose("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n<html>and much more"); },
         true, 200},
        {"ContentLengthShorterThenHold",
         [] { return replyThenHold("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n<html>and much more"); },
         true, 200},
        {"RedirectLoopOnOneConnection", [] { return redirectForever(true); }, false, 0},
        {"RedirectLoopNewConnections", [] { return redirectForever(false); }, false, 0},
        {"ChunkSizeNotHex",
         [] { return replyThenHold("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n"); },
         true, 200},
        {"ChunkSizeOverflows",
         [] {
             return replyThenHold("HTTP/1.1 200 OK\r\nTransfer-Encoding: "
                                  "chunked\r\n\r\n5\r\nhello\r\nFFFFFFFFFFFFFFFFFFFFFF\r\n");
         },
         true, 200},
        {"ChunkCutShort",
         [] {
             return replyThenClose("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n100\r\nonly this");
         },
         true, 200},
        // The header still decides: a broken body does not turn a 404 into a success.
        {"BrokenChunksOfA404",
         [] {
             return replyThenHold(
                 "HTTP/1.1 404 Not Found\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n");
         },
         false, 404},
        // A header line that looks like a status line does not start another response.
        {"StatusLineInsideA404",
         [] {
             return replyThenClose("HTTP/1.1 404 Not Found\r\nHTTP/1.1 200 OK: really\r\nContent-Length: "
                                   "2\r\nConnection: close\r\n\r\nok");
         },
         false, 404},
        {"TenThousandHeaderLines", [] { return replyThenClose(tenThousandHeaderLines()); }, true, 200},
        {"ResetInTheMiddleOfTheBody",
         [] {
             return replyThenReset("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(100, 'x'));
         },
         true, 200},
        {"BinaryGarbage", [] { return replyThenClose(binaryGarbage()); }, false, 0},
        {"SshBanner", [] { return bannerFirst("SSH-2.0-OpenSSH_9.2p1 Debian-2+deb12u3\r\n", false); }, false,
         0},
        {"SshBannerThenSilence", [] { return bannerFirst("SSH-2.0-OpenSSH_9.2p1\r\n", true); }, false, 0,
         Ending::Early, true},
        {"TlsHandshakeStalls", [] { return neverSpeak(); }, false, 0, Ending::AtTheLimit, true, true},
    };
}

// A hostile server of one case, running while the object lives.
struct HostileServer
{
    explicit HostileServer(const HostileCase& row)
        : https(row.https)
        , server(RawServer::scripted(row.script()))
    {}
    [[nodiscard]] std::string url() const
    {
        return (https ? "https" : "http") + std::string("://127.0.0.1:") + std::to_string(server.port()) +
               "/";
    }

    const bool https;
    RawServer server;
};

// The TLS case needs an authority to trust, so the client gets as far as waiting for the
// server's hello whatever the system's store holds.
class HostileServerTest : public testing::Test
{
protected:
    void SetUp() override { net::setTrustedCertificates(testing_support::testCertificates().authorityPem); }
    void TearDown() override { net::setTrustedCertificates({}); }
};

class HostileRowCheck : public HostileServerTest, public testing::WithParamInterface<HostileCase>
{
};

TEST_P(HostileRowCheck, EndsWithItsMarkWithinTheLimit)
{
    const HostileCase& row = GetParam();
    const HostileServer hostile(row);
    const int limitSeconds = limitSecondsFor(row);
    const CheckOptions options = testing_support::rulesWithin(limitSeconds);

    const auto start = Clock::now();
    const RowResult outcome = checkRow(testing_support::rowFor(hostile.url()), options);
    const auto took = Clock::now() - start;

    EXPECT_EQ(outcome.mark, row.succeeds ? library::Mark::Success : library::Mark::Failure) << outcome.reason;
    EXPECT_EQ(outcome.httpStatus, row.status) << outcome.reason;
    EXPECT_LT(took, std::chrono::seconds(limitSeconds) + kMargin);
    const std::string atTheLimit = "no response within " + std::to_string(limitSeconds) + " s";
    if (row.ending == Ending::AtTheLimit) {
        EXPECT_EQ(outcome.reason, atTheLimit);
        EXPECT_GE(took, std::chrono::seconds(limitSeconds));
    } else {
        EXPECT_NE(outcome.reason, atTheLimit) << "the server's behaviour, not the limit, ends this check";
    }
    if (row.clientMustLeave) {
        EXPECT_TRUE(hostile.server.waitForClientClose(kMargin)) << "the connection was left open";
    }
}

INSTANTIATE_TEST_SUITE_P(HostileServers, HostileRowCheck, testing::ValuesIn(hostileCases()),
                         [](const testing::TestParamInfo<HostileCase>& row) { return row.param.label; });

// --- memory ------------------------------------------------------------------------------------

// Samples the resident memory on a thread of its own while it lives; `peakGrowthKiB()` is the
// largest rise above the level at its start.
class ResidentMemoryWatch
{
public:
    ResidentMemoryWatch()
        : start_(testing_support::residentKiB())
        , peak_(start_)
        , thread_([this] {
            while (!done_.load()) {
                peak_.store(std::max(peak_.load(), testing_support::residentKiB()));
                std::this_thread::sleep_for(5ms);
            }
        })
    {}
    ~ResidentMemoryWatch() { stop(); }
    ResidentMemoryWatch(const ResidentMemoryWatch&) = delete;
    ResidentMemoryWatch& operator=(const ResidentMemoryWatch&) = delete;

    long peakGrowthKiB()
    {
        stop();
        peak_.store(std::max(peak_.load(), testing_support::residentKiB()));
        return peak_.load() - start_;
    }

private:
    void stop()
    {
        done_.store(true);
        if (thread_.joinable())
            thread_.join();
    }

    const long start_;
    std::atomic<long> peak_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// What the fetch may keep of one response is the body cap; the bound leaves room for the copies
// made on the way to the caller. Under a sanitizer, resident memory also holds its shadow memory
// (ThreadSanitizer: four times what the program touches) and AddressSanitizer's quarantine of
// freed memory (up to 256 MiB), so the bound is wider there. A body kept without a cap still
// grows far past either bound before the limit.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVRIN_UNDER_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(TAVRIN_UNDER_SANITIZER)
constexpr long kResidentGrowthBoundKiB = 40 * static_cast<long>(net::kFetchBodyCap / 1024);
#else
constexpr long kResidentGrowthBoundKiB = 8 * static_cast<long>(net::kFetchBodyCap / 1024);
#endif

class HostileMemory : public HostileServerTest, public testing::WithParamInterface<HostileCase>
{
};

TEST_P(HostileMemory, StaysBoundedWhileTheServerSendsWithoutEnd)
{
    const HostileServer hostile(GetParam());
    ResidentMemoryWatch watch;
    const RowResult outcome = checkRow(testing_support::rowFor(hostile.url()),
                                       testing_support::rulesWithin(limitSecondsFor(GetParam())));
    EXPECT_LT(watch.peakGrowthKiB(), kResidentGrowthBoundKiB) << outcome.reason;
}

std::vector<HostileCase> endlessCases()
{
    std::vector<HostileCase> endless;
    for (HostileCase& row : hostileCases()) {
        if (row.label.ends_with("ForeverFast") || row.label == "StatusLinesForever" ||
            row.label == "InterimResponsesForever" || row.label == "BodyWithoutEndFast")
            endless.push_back(std::move(row));
    }
    return endless;
}

INSTANTIATE_TEST_SUITE_P(HostileServers, HostileMemory, testing::ValuesIn(endlessCases()),
                         [](const testing::TestParamInfo<HostileCase>& row) { return row.param.label; });

// --- sockets -------------------------------------------------------------------------------------

TEST_F(HostileServerTest, ConnectionsAreNotHandedToChildProcesses)
{
    // A browser started while a pass runs (打开网址) would otherwise inherit the connections
    // under way and keep them open after the pass has let go of them.
    const RawServer silent = RawServer::silent();
    std::stop_source stop;
    std::thread fetching([&] {
        (void)checkRow(testing_support::rowFor(silent.url("/")),
                       testing_support::rulesWithin(kLongLimitSeconds), stop.get_token());
    });
    ASSERT_TRUE(silent.waitForRequests(1, std::chrono::seconds(kLongLimitSeconds)));
    // Read while the transfer still holds its connection.
    std::vector<int> descriptorFlags;
    for (const int fd : testing_support::socketsConnectedTo(silent.port()))
        descriptorFlags.push_back(::fcntl(fd, F_GETFD));
    stop.request_stop();
    fetching.join();
    ASSERT_FALSE(descriptorFlags.empty());
    for (const int flags : descriptorFlags) {
        ASSERT_GE(flags, 0);
        EXPECT_NE(flags & FD_CLOEXEC, 0);
    }
}

// --- a whole pass --------------------------------------------------------------------------------

TEST_F(HostileServerTest, PassOverEveryServerMarksEveryRowAndGivesEverythingBack)
{
    // The network thread lives as long as the process; it was started before any test.
    const int threadsBefore = testing_support::threadCount();
    const int socketsBefore = testing_support::socketCount();
    const std::vector<HostileCase> rows = hostileCases();
    // Several rows per worker, so workers go on after a hostile row. One limit serves every row:
    // long enough for the rows that end by themselves on a busy machine.
    constexpr int kThreads = 8;
    constexpr int kPassLimitSeconds = 5;
    constexpr auto kPassLimit = std::chrono::seconds(kPassLimitSeconds);
    {
        std::vector<std::unique_ptr<HostileServer>> servers;
        base::ListStore list;
        for (const HostileCase& row : rows) {
            servers.push_back(std::make_unique<HostileServer>(row));
            list.appendRow({std::to_string(list.rowCount() + 1), servers.back()->url(), msg::kMarkPending});
        }
        // What decided each mark, for the failure messages; each worker writes its own rows.
        struct Reasons final : PassListener
        {
            std::vector<std::string> byRow;
            std::atomic<bool> completed{false};
            void rowStarted(const SubmitRow&, int, int) override {}
            void rowChecked(const SubmitRow& row, const RowResult& result) override
            {
                byRow[static_cast<std::size_t>(row.listIndex)] =
                    result.reason + " after " + std::to_string(result.milliseconds) + " ms";
            }
            void passCompleted() override { completed = true; }
        } reasons;
        reasons.byRow.resize(rows.size());
        SubmissionEngine engine(list, httpRowCheck(testing_support::rulesWithin(kPassLimitSeconds)));
        engine.addListener(&reasons);

        const auto start = Clock::now();
        ASSERT_EQ(engine.start(kThreads), StartResult::Started);
        engine.waitForPassWorkers();
        const auto took = Clock::now() - start;

        // Even if one worker drew every row that waits for the limit, the pass would end by then.
        const auto rowsAtTheLimit = std::count_if(rows.begin(), rows.end(), [](const HostileCase& row) {
            return row.ending == Ending::AtTheLimit;
        });
        EXPECT_LT(took, rowsAtTheLimit * (kPassLimit + kMargin) + kMargin);
        const int rowCount = static_cast<int>(rows.size());
        EXPECT_TRUE(reasons.completed.load());
        EXPECT_EQ(engine.state(), PassState::Completed);
        for (int i = 0; i < rowCount; ++i) {
            const HostileCase& row = rows[static_cast<std::size_t>(i)];
            EXPECT_EQ(list.cell(i, 2), row.succeeds ? msg::kMarkSuccess : msg::kMarkFailure)
                << row.label << ": " << reasons.byRow[static_cast<std::size_t>(i)];
        }
    }
    // The connection cache keeps a connection whose last exchange was whole (the keep-alive
    // redirect loop) for reuse, and closes the cached connections that have died when it next
    // connects, at most once a second. One more request a second later gives it that chance.
    std::this_thread::sleep_for(1100ms);
    {
        const RawServer closing =
            RawServer::replying("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        EXPECT_EQ(checkRow(testing_support::rowFor(closing.url("/")),
                           testing_support::rulesWithin(kLongLimitSeconds))
                      .mark,
                  library::Mark::Success);
    }
    // Workers joined, engine and servers gone: what the pass took is given back. The counts may
    // end below the start (connections of earlier tests that the cache has closed meanwhile),
    // never above it.
    EXPECT_LE(testing_support::settledAtMost(testing_support::threadCount, threadsBefore, 5s), threadsBefore);
    EXPECT_LE(testing_support::settledAtMost(testing_support::socketCount, socketsBefore, 5s), socketsBefore);
}

} // namespace
} // namespace tavrin::submit
