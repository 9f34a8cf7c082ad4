// The blog ping's XML-RPC: the call's body and the reading of every kind of reply.
#include "net/index_now.h"
#include "net/weblog_ping.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace tavrin::net {
namespace {

using Answer = WeblogPingReply::Answer;

std::string response(const std::string& value)
{
    return R"(<?xml version="1.0"?><methodResponse><params><param><value>)" + value +
           "</value></param></params></methodResponse>";
}

std::string flerrorStruct(const std::string& flerror, const std::string& message)
{
    return "<struct><member><name>flerror</name><value>" + flerror +
           "</value></member>\n<member> <name>message</name><value>" + message + "</value></member></struct>";
}

std::string deeplyNested()
{
    std::string deep;
    for (int i = 0; i < 100; ++i)
        deep += "<v>";
    return deep;
}

TEST(WeblogPingReply, IsReadForItsFlerrorAndMessage)
{
    const struct
    {
        const char* name;
        std::string body;
        Answer answer;
        std::string message;
        int faultCode = 0;
    } cases[] = {
        {"accepted", response(flerrorStruct("<boolean>0</boolean>", "<string>Thanks for the ping.</string>")),
         Answer::Accepted, "Thanks for the ping."},
        {"untyped string, blanks around the flag",
         response(flerrorStruct("<boolean> 0 </boolean>", "Thanks!")), Answer::Accepted, "Thanks!"},
        {"message first, flerror as false",
         response("<struct><member><name>message</name><value>ok</value></member>"
                  "<member><name>flerror</name><value><boolean>false</boolean>"
                  "</value></member></struct>"),
         Answer::Accepted, "ok"},
        {"refused, message on lines of its own",
         response(
             flerrorStruct("<boolean>1</boolean>", "<string>\n  Site not found &amp; not pinged\n</string>")),
         Answer::Refused, "Site not found & not pinged"},
        {"refused without a message",
         response("<struct><member><name>flerror</name><value><boolean>1</boolean>"
                  "</value></member></struct>"),
         Answer::Refused, ""},
        {"fault",
         R"(<?xml version="1.0"?><methodResponse><fault><value><struct>)"
         "<member><name>faultCode</name><value><int>-32601</int></value></member>"
         "<member><name>faultString</name><value><string>no such method</string></value></member>"
         "</struct></value></fault></methodResponse>",
         Answer::Fault, "no such method", -32601},
        {"not XML", "<html><body>Service moved</body>", Answer::NotXml, "no element found"},
        {"a web page", "<html><body>Service moved</body></html>", Answer::NotMethodResponse, ""},
        {"no flerror", response("<struct><member><name>message</name><value>hi</value></member></struct>"),
         Answer::NoFlerror, ""},
        {"a flerror that is no boolean", response(flerrorStruct("<boolean>maybe</boolean>", "x")),
         Answer::NoFlerror, ""},
        {"flerror of a nested struct does not count",
         response("<struct><member><name>data</name><value>" + flerrorStruct("<boolean>0</boolean>", "x") +
                  "</value></member></struct>"),
         Answer::NoFlerror, ""},
        // Entities are never expanded: a reply declaring any is refused before the first one.
        {"a document type declaration",
         R"(<?xml version="1.0"?><!DOCTYPE r [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;">]>)"
         "<methodResponse>&b;</methodResponse>",
         Answer::NotXml, "a document type declaration"},
        {"nested beyond reason", deeplyNested(), Answer::NotXml, "the reply is nested too deep or too long"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const WeblogPingReply reply = readWeblogPingReply(c.body);
        EXPECT_EQ(reply.answer, c.answer);
        EXPECT_EQ(reply.message, c.message);
        EXPECT_EQ(reply.faultCode, c.faultCode);
    }
}

TEST(WeblogPingReply, SaysWhereXmlBreaks)
{
    const WeblogPingReply reply =
        readWeblogPingReply("<?xml version=\"1.0\"?>\n<methodResponse>\n<params></param>");
    EXPECT_EQ(reply.answer, Answer::NotXml);
    EXPECT_EQ(reply.errorLine, 3u);
    EXPECT_EQ(reply.message, "mismatched tag");
}

TEST(WeblogPingCall, NamesTheSiteAndEscapesIt)
{
    const std::string call = weblogPingCall("Tom & Jerry <fans>\x01", "http://a.example/?x=1&y=2");
    EXPECT_NE(call.find("<methodName>weblogUpdates.ping</methodName>"), std::string::npos);
    EXPECT_NE(
        call.find("<param><value><string>Tom &amp; Jerry &lt;fans&gt;</string></value></param>"
                  "<param><value><string>http://a.example/?x=1&amp;y=2</string></value></param></params>"),
        std::string::npos)
        << call;

    const std::string extended = weblogPingCall("Site", "http://a.example/", "http://a.example/feed");
    EXPECT_NE(extended.find("<methodName>weblogUpdates.extendedPing</methodName><params>"
                            "<param><value><string>Site</string></value></param>"
                            "<param><value><string>http://a.example/</string></value></param>"
                            "<param><value><string>http://a.example/</string></value></param>"
                            "<param><value><string>http://a.example/feed</string></value></param></params>"),
              std::string::npos)
        << extended;
}

TEST(IndexNow, KeysAndBody)
{
    EXPECT_TRUE(isIndexNowKey("abcd1234"));
    EXPECT_TRUE(isIndexNowKey("A-" + std::string(126, 'z')));
    EXPECT_FALSE(isIndexNowKey("abc1234")) << "too short";
    EXPECT_FALSE(isIndexNowKey(std::string(129, 'a'))) << "too long";
    EXPECT_FALSE(isIndexNowKey("abcd_1234")) << "an underscore";
    EXPECT_FALSE(isIndexNowKey("abcd 1234"));

    const nlohmann::json body = nlohmann::json::parse(
        indexNowBody("www.example.com", "abcd1234", {"http://www.example.com/", "http://x/\"q"}));
    EXPECT_EQ(body, (nlohmann::json{{"host", "www.example.com"},
                                    {"key", "abcd1234"},
                                    {"urlList", {"http://www.example.com/", "http://x/\"q"}}}));
}

} // namespace
} // namespace tavrin::net
