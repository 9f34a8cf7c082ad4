// The plain GET used for updates: its own request shape, error pages as bytes, and a time
// limit so no caller hangs for ever.
#include "net/http_get_file.h"
#include "net/request_headers.h"
#include "support/raw_request.h"
#include "support/raw_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stop_token>
#include <thread>

namespace tavrin::net {
namespace {

using namespace std::chrono_literals;
using testing_support::RawRequest;
using testing_support::RawServer;

TEST(HttpGetFile, SendsItsOwnRequestAndReturnsTheBody)
{
    const RawServer server =
        RawServer::replying("HTTP/1.0 200 OK\r\nContent-Length: 13\r\n\r\n////start 2.1");
    EXPECT_EQ(httpGetFile(server.url("/update.txt")), "////start 2.1");
    ASSERT_EQ(server.requests().size(), 1u);
    const RawRequest request(server.requests().front());
    EXPECT_EQ(request.lines.front(), "GET /update.txt HTTP/1.0");
    EXPECT_TRUE(request.has("User-Agent: " + std::string(kGetFileUserAgent)));
    EXPECT_TRUE(request.has("Accept: */*"));
    EXPECT_FALSE(request.hasHeader("Referer"));
}

TEST(HttpGetFile, ErrorPageComesBackAsItsBytes)
{
    const RawServer server =
        RawServer::replying("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here!");
    EXPECT_EQ(httpGetFile(server.url("/setup.exe")), "not here!");
}

TEST(HttpGetFile, EmptyUrlGivesNothing)
{
    EXPECT_EQ(httpGetFile(""), "");
}

TEST(HttpGetFile, GivesUpAtItsTimeLimit)
{
    const RawServer server = RawServer::silent();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(httpGetFile(server.url("/update.txt"), 1s), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    EXPECT_TRUE(server.waitForClientClose(1s));
}

TEST(HttpGetFileResponse, TellsStatusAndWhetherTheBodyIsWhole)
{
    const struct
    {
        const char* what;
        std::string reply;
        int status;
        bool complete;
        bool succeeded;
        std::string body;
    } cases[] = {
        {"whole 200", "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nfile", 200, true, true, "file"},
        {"whole 204", "HTTP/1.0 204 No Content\r\n\r\n", 204, true, true, ""},
        {"error page", "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here!", 404, true, false,
         "not here!"},
        {"server error", "HTTP/1.0 500 Oops\r\nContent-Length: 4\r\n\r\noops", 500, true, false, "oops"},
        {"cut short", "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nhalf a file", 200, false, false,
         "half a file"},
        {"no status line", "garbage\r\n\r\n", 0, false, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const RawServer server = RawServer::replying(c.reply);
        const GetFileResponse response = httpGetFileResponse(server.url("/setup.exe"));
        EXPECT_EQ(response.status, c.status);
        EXPECT_EQ(response.complete, c.complete);
        EXPECT_EQ(response.succeeded(), c.succeeded);
        EXPECT_EQ(response.body, c.body);
        // The plain call still hands out whatever body came.
        EXPECT_EQ(httpGetFile(server.url("/setup.exe")), c.body);
    }
}

TEST(HttpGetFileResponse, StatusIsTheFinalResponsesAfterARedirect)
{
    const RawServer target = RawServer::replying("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nnew");
    const RawServer moved = RawServer::replying(
        "HTTP/1.0 302 Found\r\nLocation: " + target.url("/v2/setup.exe") + "\r\nContent-Length: 0\r\n\r\n");
    const GetFileResponse response = httpGetFileResponse(moved.url("/setup.exe"));
    EXPECT_EQ(response.status, 200);
    EXPECT_TRUE(response.succeeded());
    EXPECT_EQ(response.body, "new");
}

TEST(HttpGetFileResponse, StopEndsTheWaitAtOnce)
{
    const RawServer server = RawServer::silent();
    std::stop_source stop;
    std::jthread stopper([&stop] {
        std::this_thread::sleep_for(100ms);
        stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    const GetFileResponse response = httpGetFileResponse(server.url("/setup.exe"), 20s, stop.get_token());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(response.status, 0);
    EXPECT_FALSE(response.succeeded());
    EXPECT_TRUE(server.waitForClientClose(2s));
}

} // namespace
} // namespace tavrin::net
