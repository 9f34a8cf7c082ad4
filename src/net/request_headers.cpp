#include "net/request_headers.h"

#include <algorithm>

namespace tavrin::net {

namespace {

constexpr std::string_view kFullWidthSpace = "\xA1\xA1";

bool isSpaceAt(std::string_view text, std::size_t at)
{
    const std::size_t length = text::charLength(text, at);
    return (length == 1 && text[at] == ' ') || (length == 2 && text.substr(at, 2) == kFullWidthSpace);
}

} // namespace

std::optional<FetchMethod> parseMethod(std::string_view method)
{
    const Text upper = text::asciiUpper(method);
    if (upper.empty() || upper == "GET")
        return FetchMethod::Get;
    if (upper == "POST")
        return FetchMethod::Post;
    return std::nullopt;
}

bool countsAsPresent(std::string_view field)
{
    for (std::size_t at = 0; at < field.size(); at += text::charLength(field, at)) {
        if (!isSpaceAt(field, at))
            return true;
    }
    return false;
}

Text trimSpaces(std::string_view field)
{
    std::size_t begin = field.size();
    std::size_t end = 0;
    for (std::size_t at = 0; at < field.size(); at += text::charLength(field, at)) {
        if (isSpaceAt(field, at))
            continue;
        begin = std::min(begin, at);
        end = at + text::charLength(field, at);
    }
    return begin < end ? Text(field.substr(begin, end - begin)) : Text();
}

Text fetchHeaderBlock(const FetchRequest& request, FetchMethod method)
{
    Text block;
    if (request.accept.empty())
        block += "Accept: */*\r\n";
    else
        block += "Accept: " + request.accept + "\r\n";
    if (!request.referer.empty())
        block += "Referer: " + request.referer + "\r\n";
    block += "Accept-Language: zh-cn\r\n";
    block += "UA-CPU: x86\r\n";
    block += "Connection: Keep-Alive\r\n";
    if (method == FetchMethod::Post && !request.body.empty()) {
        if (text::find(block, "Content-Type: ", 1, text::CaseMode::AsciiInsensitive) < 0)
            block += "Content-Type: application/x-www-form-urlencoded\r\n";
        block += "Content-Length: " + text::decimal(static_cast<long long>(request.body.size())) + "\r\n";
    }
    return block;
}

} // namespace tavrin::net
