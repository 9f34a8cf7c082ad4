// The FetchBlock stream and its two records: the byte layout, round trips, and blocks that
// must not read as a result (cut short, wrong sentinel).
#include "net/fetch_block.h"
#include "net/fetch_records.h"
#include "net/http_fetch.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrin::net {
namespace {

using namespace std::string_literals;

FetchRequest sampleRequest()
{
    FetchRequest request;
    request.url = "http://h.example/q";
    request.method = "POST";
    request.proxy = "127.0.0.1:3128";
    request.userName = "user";
    request.password = "secret";
    request.referer = "http://r.example/";
    request.accept = "text/html";
    request.body = "a=1\0b"s;
    return request;
}

TEST(FetchBlock, RequestRecordHasTheDocumentedLayout)
{
    FetchBlock block;
    writeRequestRecord(block, sampleRequest());
    // Texts end in NUL; the body is a 32-bit little-endian length and its bytes. Accept comes
    // before the body.
    const std::string expected = "Kestrow\0http://h.example/q\0POST\0"
                                 "127.0.0.1:3128\0user\0secret\0"
                                 "http://r.example/\0text/html\0\x05\0\0\0a=1\0b"s;
    EXPECT_EQ(block.bytes(), expected);
}

TEST(FetchBlock, ResultRecordHasTheDocumentedLayout)
{
    FetchBlock block;
    writeResultRecord(block, FetchResult{"HTTP/1.1 200 OK\r\n\r\n", std::string(300, 'x')});
    const std::string expected = "Kestrow_OK\0HTTP/1.1 200 OK\r\n\r\n\0\x2C\x01\0\0"s + std::string(300, 'x');
    EXPECT_EQ(block.bytes(), expected);
}

TEST(FetchBlock, RecordsRoundTrip)
{
    FetchBlock block;
    const FetchRequest request = sampleRequest();
    writeRequestRecord(block, request);
    EXPECT_EQ(readRequestRecord(block), request);

    const FetchResult result{"HTTP/1.1 404 Not Found\r\nX: y\r\n\r\n", "body\0with\0NULs"s};
    writeResultRecord(block, result);
    EXPECT_EQ(readResultRecord(block), result);

    writeResultRecord(block, FetchResult{});
    EXPECT_EQ(readResultRecord(block), FetchResult{});
}

TEST(FetchBlock, ResultCutShortAnywhereReadsAsNoResult)
{
    FetchBlock full;
    writeResultRecord(full, FetchResult{"HTTP/1.1 200 OK\r\n\r\n", "0123456789"});
    const std::string bytes(full.bytes());
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        SCOPED_TRACE(length);
        FetchBlock cut = FetchBlock::fromBytes(bytes.substr(0, length));
        EXPECT_EQ(readResultRecord(cut), std::nullopt);
    }
}

TEST(FetchBlock, WrongSentinelsAreRejected)
{
    FetchBlock block;
    writeRequestRecord(block, sampleRequest());
    // A request is not a result ...
    EXPECT_EQ(readResultRecord(block), std::nullopt);

    // ... and a result is not a request; the block is left as it was.
    writeResultRecord(block, FetchResult{"HTTP/1.1 200 OK\r\n\r\n", "x"});
    const std::string before(block.bytes());
    EXPECT_EQ(readRequestRecord(block), std::nullopt);
    EXPECT_EQ(block.bytes(), before);

    for (const std::string& sentinel : {"kestrow_ok"s, "Kestrow_OK "s, "Kestrow"s, ""s}) {
        SCOPED_TRACE(sentinel);
        FetchBlock other;
        other.writeText(sentinel);
        other.writeText("HTTP/1.1 200 OK\r\n\r\n");
        ASSERT_TRUE(other.writeBytes("x"));
        EXPECT_EQ(readResultRecord(other), std::nullopt);
    }
}

TEST(FetchBlock, ShortRequestRecordReadsMissingFieldsAsEmpty)
{
    FetchBlock block;
    block.writeText("Kestrow");
    block.writeText("http://h.example/");
    const std::optional<FetchRequest> request = readRequestRecord(block);
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->url, "http://h.example/");
    EXPECT_EQ(request->method, "");
    EXPECT_EQ(request->body, "");
}

TEST(FetchBlock, StreamOperations)
{
    FetchBlock block;
    block.writeText("abc");
    ASSERT_TRUE(block.writeBytes("xyz"));
    EXPECT_EQ(block.size(), 4u + 4u + 3u);

    // A text never holds a NUL: writing one stops there.
    FetchBlock nul;
    nul.writeText("ab\0cd"s);
    EXPECT_EQ(nul.bytes(), "ab\0"s);

    // Writing in the middle overwrites; the stream grows only past its end.
    block.rewind();
    block.writeText("ABC");
    block.rewind();
    EXPECT_EQ(block.readText(), "ABC");
    EXPECT_EQ(block.readBytes(), "xyz");
    EXPECT_EQ(block.readText(), std::nullopt);

    // Erase at the position.
    block.rewind();
    block.erase(4);
    EXPECT_EQ(block.readBytes(), "xyz");
    block.rewind();
    block.erase(100);
    EXPECT_EQ(block.size(), 0u);

    // A length that claims more than is there gives nothing.
    FetchBlock lying = FetchBlock::fromBytes("\x10\0\0\0abc"s);
    EXPECT_EQ(lying.readBytes(), std::nullopt);
}

TEST(HttpFetch, RefusesWhatIsNotARequest)
{
    EXPECT_FALSE(httpFetch(nullptr));

    // Wrong sentinel: false, block untouched.
    FetchBlock notARequest;
    writeResultRecord(notARequest, FetchResult{"h", "b"});
    const std::string before(notARequest.bytes());
    EXPECT_FALSE(httpFetch(&notARequest));
    EXPECT_EQ(notARequest.bytes(), before);

    // A method other than GET or POST: false, and the block was emptied. No request leaves.
    FetchRequest put;
    put.url = "http://127.0.0.1:9/";
    put.method = "PUT";
    FetchBlock block;
    writeRequestRecord(block, put);
    EXPECT_FALSE(httpFetch(&block));
    EXPECT_EQ(block.size(), 0u);
}

} // namespace
} // namespace tavrin::net
