// The time limit, stopping, and what a timed fetch hands back when no response comes: the
// limit counts from the start, the call returns at it with nothing, a late answer is never
// handed out, the abandoned request is cancelled (its connection closed), bodies are capped,
// many threads fetch at once without mixing their results up, and the body reaches the caller
// as the buffer the transfer filled, not as a copy.
#include "net/http_get_file.h"
#include "net/http_transfer.h"
#include "net/timed_fetch.h"
#include "net/transfer_job.h"
#include "submit/classify_response.h"
#include "support/local_server.h"
#include "support/raw_server.h"
#include "support/request_for.h"
#include "support/test_socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace tavrin::net {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing_support::LocalServer;
using testing_support::RawServer;
using testing_support::requestFor;

// A port on 127.0.0.1 where nothing listens: listened on once to learn a free number, then closed.
int closedPort()
{
    int port = 0;
    const testing_support::SocketHandle probe = testing_support::listenOnLoopback(port, 1);
    EXPECT_NE(probe, testing_support::kNoSocket);
    testing_support::closeSocket(probe);
    return port;
}

TEST(TimedFetch, ReturnsAtTheLimitWithNothingAndCancelsTheRequest)
{
    const RawServer server = RawServer::silent();
    Text header = "untouched";
    const auto start = Clock::now();
    const std::string body = timedFetch(server.url("/"), {}, {}, {}, {}, {}, {}, 1, &header);
    const auto took = Clock::now() - start;
    EXPECT_EQ(body, "");
    EXPECT_EQ(header, "");
    EXPECT_GE(took, 1s);
    EXPECT_LT(took, 2500ms);
    // The request was cancelled, not left running: its connection is closed promptly.
    EXPECT_TRUE(server.waitForClientClose(1s));
}

TEST(TimedFetch, ALateAnswerIsNeverHandedOut)
{
    std::atomic<bool> releaseSlow{false}; // outlives the server and its handler threads
    LocalServer server;
    server.routes().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        const auto until = Clock::now() + 1500ms;
        while (Clock::now() < until && !releaseSlow)
            std::this_thread::sleep_for(10ms);
        res.set_content("late", "text/plain");
    });
    server.routes().Get("/fast", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("fast", "text/plain");
    });
    server.start();

    const auto outcome = runTimedFetch(requestFor(server.url("/slow")), 1);
    EXPECT_EQ(outcome.end, FetchEnd::TimedOut);
    EXPECT_EQ(outcome.headerText, "");
    EXPECT_EQ(outcome.body, "");
    // The next request on this thread gets its own answer, while the slow one would still
    // have been answered in the meantime.
    Text header;
    EXPECT_EQ(timedFetch(server.url("/fast"), {}, {}, {}, {}, {}, {}, 5, &header), "fast");
    EXPECT_NE(header.find("200 OK"), std::string::npos);
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(timedFetch(server.url("/fast"), {}, {}, {}, {}, {}, {}, 5), "fast");
    releaseSlow = true;
}

TEST(TimedFetch, StopEndsTheWaitAtOnce)
{
    const RawServer server = RawServer::silent();
    std::stop_source stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        stop.request_stop();
    });
    const auto start = Clock::now();
    const auto outcome = runTimedFetch(requestFor(server.url("/")), 20, stop.get_token());
    const auto took = Clock::now() - start;
    stopper.join();
    EXPECT_EQ(outcome.end, FetchEnd::Stopped);
    EXPECT_EQ(outcome.body, "");
    EXPECT_LT(took, 2s);
    EXPECT_TRUE(server.waitForClientClose(2s));
}

TEST(TimedFetch, NoLimitGivenMeansTheLongDefault)
{
    // With 0 (or a negative limit) the call does not give up after a second or two; it waits
    // until it is stopped.
    for (const int limit : {0, -5}) {
        SCOPED_TRACE(limit);
        const RawServer server = RawServer::silent();
        std::stop_source stop;
        std::thread stopper([&] {
            std::this_thread::sleep_for(1200ms);
            stop.request_stop();
        });
        const auto outcome = runTimedFetch(requestFor(server.url("/")), limit, stop.get_token());
        stopper.join();
        EXPECT_EQ(outcome.end, FetchEnd::Stopped);
    }
}

struct FailureCase
{
    std::string label;
    std::string url; // "{closed}" stands for a port where nothing listens
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.label;
}

class NoResponseTest : public testing::TestWithParam<FailureCase>
{
};

TEST_P(NoResponseTest, GivesNoHeaderTextSoTheRowFails)
{
    std::string url = GetParam().url;
    if (const std::size_t at = url.find("{closed}"); at != std::string::npos)
        url.replace(at, 8, std::to_string(closedPort()));
    Text header = "untouched";
    const std::string body = timedFetch(url, {}, {}, {}, {}, {}, {}, 5, &header);
    EXPECT_EQ(body, "");
    EXPECT_EQ(header, "");
    // In a pass as well: a request that got no answer is no success.
    const auto verdict = submit::classifyResponse(header, body, false);
    EXPECT_FALSE(verdict.success);
    EXPECT_EQ(verdict.decidedBy, submit::ResponseTest::NoResponse);
    EXPECT_EQ(runTimedFetch(requestFor(url), 5).end, FetchEnd::NoResponse);
}

INSTANTIATE_TEST_SUITE_P(Failures, NoResponseTest,
                         testing::Values(FailureCase{"ConnectionRefused", "http://127.0.0.1:{closed}/"},
                                         FailureCase{"UnresolvableHost", "http://no-such-host.invalid/"},
                                         FailureCase{"EmptyUrl", ""}),
                         [](const testing::TestParamInfo<FailureCase>& row) { return row.param.label; });

TEST(TimedFetch, ConnectionResetBeforeTheAnswerIsNoResponse)
{
    // The server reads the request and closes without a word, politely or with a reset.
    const RawServer closes = RawServer::replying("");
    const RawServer resets = RawServer::resetting();
    for (const RawServer* server : {&closes, &resets}) {
        Text header = "untouched";
        EXPECT_EQ(timedFetch(server->url("/"), {}, {}, {}, {}, {}, {}, 5, &header), "");
        EXPECT_EQ(header, "");
    }
}

TEST(TimedFetch, BodyCutShortKeepsTheHeaderAndTheBytesReceived)
{
    // Content-Length promises more than arrives before the close.
    const RawServer server =
        RawServer::replying("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\npartial");
    Text header;
    EXPECT_EQ(timedFetch(server.url("/"), {}, {}, {}, {}, {}, {}, 5, &header), "partial");
    EXPECT_EQ(header.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);

    // The outcome says whether the body came whole.
    const RawServer whole =
        RawServer::replying("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nwhole");
    for (const auto& [reply, complete] : {std::pair{&server, false}, std::pair{&whole, true}}) {
        const FetchOutcome outcome = fetchUntil(requestFor(reply->url("/")), deadlineIn(5));
        EXPECT_EQ(outcome.end, FetchEnd::Response);
        EXPECT_EQ(outcome.bodyComplete, complete) << outcome.body;
    }
}

TEST(TimedFetch, EndlessBodyIsCutAtTheCap)
{
    LocalServer server;
    server.routes().Get("/endless", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [](std::size_t, httplib::DataSink& sink) {
            static const std::string chunk(std::size_t{64} * 1024, 'x');
            return sink.write(chunk.data(), chunk.size());
        });
    });
    server.start();
    const auto start = Clock::now();
    const FetchOutcome outcome = runTimedFetch(requestFor(server.url("/endless")), 20);
    EXPECT_EQ(outcome.end, FetchEnd::Response);
    EXPECT_TRUE(outcome.bodyCapped);
    EXPECT_EQ(outcome.body.size(), kFetchBodyCap);
    EXPECT_EQ(outcome.body.find_first_not_of('x'), std::string::npos);
    EXPECT_NE(outcome.headerText.find("200 OK"), std::string::npos);
    // The cap ends the transfer; the limit did not.
    EXPECT_LT(Clock::now() - start, 15s);
}

TEST(TimedFetch, RefusedMethodSendsNothing)
{
    const RawServer server = RawServer::replying("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    Text header = "untouched";
    EXPECT_EQ(timedFetch(server.url("/"), "PUT", {}, {}, {}, {}, {}, 5, &header), "");
    EXPECT_EQ(header, "");
    EXPECT_EQ(runTimedFetch(requestFor(server.url("/"), "DELETE"), 5).end, FetchEnd::Refused);
    EXPECT_FALSE(server.waitForRequests(1, 200ms));
}

TEST(TimedFetch, ManyThreadsAtOnceEachGetTheirOwnAnswer)
{
    LocalServer server;
    server.routes().Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("n=" + req.get_param_value("n"), "text/plain");
    });
    server.start();
    constexpr int kThreads = 50;
    constexpr int kEach = 4;
    std::atomic<int> right{0};
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                const std::string n = std::to_string(t * kEach + i);
                Text header;
                if (timedFetch(server.url("/echo?n=" + n), {}, {}, {}, {}, {}, {}, 10, &header) == "n=" + n &&
                    header.rfind("HTTP/1.1 200 OK\r\n", 0) == 0)
                    ++right;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(right, kThreads * kEach);
}

TEST(TimedFetch, EveryTypedCallHandsOutTheBufferTheTransferFilled)
{
    // The transfer reserves room for the announced length once the header has ended. A body cut
    // short keeps that room only if it was handed over from the transfer; a copy anywhere on
    // the way would hold just the bytes that came.
    constexpr std::size_t kAnnounced = 2u << 20;
    const std::string sent(1u << 20, 'h');
    const RawServer server =
        RawServer::replying("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kAnnounced) +
                            "\r\nConnection: close\r\n\r\n" + sent);
    const std::string url = server.url("/page");
    const struct
    {
        const char* call;
        std::function<std::string()> fetch;
    } cases[] = {
        {"runTimedFetch", [&] { return runTimedFetch(requestFor(url), 10).body; }},
        {"fetchUntil", [&] { return fetchUntil(requestFor(url, "POST"), deadlineIn(10)).body; }},
        {"PendingFetch",
         [&] {
             PendingFetch pending(requestFor(url), deadlineIn(10));
             return pending.wait({}).body;
         }},
        {"positional timedFetch", [&] { return timedFetch(url, {}, {}, {}, {}, {}, {}, 10); }},
        {"HttpGetFileResponse", [&] { return httpGetFileResponse(url, 10s).body; }},
        {"httpGetFile", [&] { return httpGetFile(url, 10s); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        const std::string body = c.fetch();
        EXPECT_EQ(body.size(), sent.size());
        EXPECT_EQ(body.find_first_not_of('h'), std::string::npos);
        EXPECT_GE(body.capacity(), kAnnounced);
    }
}

// The hand-over alone, with this test playing the network thread: the waiter gets the very
// buffers that were completed, and a completion that comes after the wait gave up is not kept
// for anyone.
TEST(PendingFetch, TheWaiterGetsTheCompletedBuffers)
{
    const Deadline deadline = Clock::now() + 10s;
    auto job = std::make_shared<TransferJob>(
        HttpTransfer::forFetch(requestFor("http://127.0.0.1:9/"), FetchMethod::Get, deadline));
    PendingFetch pending(job, deadline);
    TransferOutcome done;
    done.headerText = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
    done.body.assign(1u << 20, 'b');
    done.bodyCapped = true;
    done.finalUrl = "http://127.0.0.1:9/after/the/redirects";
    // As plain addresses, so that a failure prints them rather than the text they point at.
    const void* const header = done.headerText.data();
    const void* const body = done.body.data();
    std::thread network([&job, &done] { job->complete(std::move(done)); });
    const FetchOutcome outcome = pending.wait({});
    network.join();
    ASSERT_EQ(outcome.end, FetchEnd::Response);
    EXPECT_EQ(static_cast<const void*>(outcome.headerText.data()), header);
    EXPECT_EQ(static_cast<const void*>(outcome.body.data()), body);
    EXPECT_EQ(outcome.body.size(), 1u << 20);
    EXPECT_TRUE(outcome.bodyCapped);
    EXPECT_EQ(outcome.finalUrl, "http://127.0.0.1:9/after/the/redirects");
}

TEST(PendingFetch, ACompletionAfterTheWaitGaveUpIsNotKept)
{
    const Deadline deadline = Clock::now() + 50ms;
    auto job = std::make_shared<TransferJob>(
        HttpTransfer::forFetch(requestFor("http://127.0.0.1:9/"), FetchMethod::Get, deadline));
    PendingFetch pending(job, deadline);
    EXPECT_EQ(pending.wait({}).end, FetchEnd::TimedOut);
    TransferOutcome late;
    late.headerText = "HTTP/1.1 200 OK\r\n\r\n";
    late.body = "late";
    job->complete(std::move(late));
    const TransferOutcome kept = job->takeOutcome();
    EXPECT_EQ(kept.headerText, "");
    EXPECT_EQ(kept.body, "");
}

} // namespace
} // namespace tavrin::net
