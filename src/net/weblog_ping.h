// The blog ping: an XML-RPC call of weblogUpdates.ping that tells a ping service a site has
// changed, and the reading of the service's reply.
//
// Replies are read with expat. A reply is small and comes from a server we do not control, so
// the reader refuses a document type declaration (no entity of any kind is expanded), and
// stops at a depth or an element count no reply comes near.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrin::net {

inline constexpr std::string_view kXmlRpcContentType = "text/xml";

// The body of the call (UTF-8): weblogUpdates.ping(siteName, siteUrl), or, with a feed,
// weblogUpdates.extendedPing(siteName, siteUrl, siteUrl, feedUrl), the form that also names
// the feed to read. Control characters XML cannot carry are left out.
[[nodiscard]] std::string weblogPingCall(std::string_view siteName, std::string_view siteUrl,
                                         std::string_view feedUrl = {});

struct WeblogPingReply
{
    enum class Answer
    {
        // The struct's flerror member is false: the service took the ping.
        Accepted,
        // flerror is true: the service refused it; message says why.
        Refused,
        // An XML-RPC fault: faultCode and the fault string in message.
        Fault,
        // Not well-formed XML (or a document type declaration): message is the parser's reason
        // and errorLine where it stopped.
        NotXml,
        // Well-formed XML, but no methodResponse.
        NotMethodResponse,
        // A methodResponse without a flerror member that reads as a boolean.
        NoFlerror,
    };
    Answer answer = Answer::NotXml;
    // The reply's message member (Accepted, Refused), the fault string, or the parser's reason;
    // on one line (breaks and tabs become spaces), blanks trimmed.
    std::string message;
    int faultCode = 0;
    std::size_t errorLine = 0;
};

[[nodiscard]] WeblogPingReply readWeblogPingReply(std::string_view body);

} // namespace tavrin::net
