// The plain GET used for updates: its own request shape, error pages as bytes, and a time
// limit so no caller hangs for ever.
#include "net/http_get_file.h"
#include "net/request_headers.h"
#include "support/raw_request.h"
#include "support/raw_server.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tavrin::net {
namespace {

using namespace std::chrono_literals;
using testing_support::RawRequest;
using testing_support::RawServer;

TEST(HttpGetFile, SendsItsOwnRequestAndReturnsTheBody)
{
    const RawServer server =
        RawServer::replying("HTTP/1.0 200 OK\r\nContent-Length: 13\r\n\r\n////start 2.1");
    EXPECT_EQ(HttpGetFile(server.url("/update.txt")), "////start 2.1");
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
    EXPECT_EQ(HttpGetFile(server.url("/setup.exe")), "not here!");
}

TEST(HttpGetFile, EmptyUrlGivesNothing)
{
    EXPECT_EQ(HttpGetFile(""), "");
}

TEST(HttpGetFile, GivesUpAtItsTimeLimit)
{
    const RawServer server = RawServer::silent();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(HttpGetFile(server.url("/update.txt"), 1s), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    EXPECT_TRUE(server.waitForClientClose(1s));
}

} // namespace
} // namespace tavrin::net
