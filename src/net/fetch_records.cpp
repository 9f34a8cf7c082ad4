#include "net/fetch_records.h"

namespace tavrin::net {

void writeRequestRecord(FetchBlock& block, const FetchRequest& request)
{
    block.clear();
    block.writeText(kRequestSentinel);
    block.writeText(request.url);
    block.writeText(request.method);
    block.writeText(request.proxy);
    block.writeText(request.userName);
    block.writeText(request.password);
    block.writeText(request.referer);
    block.writeText(request.accept);
    if (!block.writeBytes(request.body))
        (void)block.writeBytes({});
}

std::optional<FetchRequest> readRequestRecord(FetchBlock& block)
{
    block.rewind();
    const std::optional<Text> sentinel = block.readText();
    if (!sentinel || *sentinel != kRequestSentinel) {
        block.rewind();
        return std::nullopt;
    }
    FetchRequest request;
    for (Text* field : {&request.url, &request.method, &request.proxy, &request.userName, &request.password,
                        &request.referer, &request.accept})
        *field = block.readText().value_or(Text());
    request.body = block.readBytes().value_or(std::string());
    return request;
}

void writeResultRecord(FetchBlock& block, const FetchResult& result)
{
    block.clear();
    block.writeText(kResultSentinel);
    block.writeText(result.headerText);
    (void)block.writeBytes(result.body);
}

std::optional<FetchResult> readResultRecord(FetchBlock& block)
{
    block.rewind();
    const std::optional<Text> sentinel = block.readText();
    if (!sentinel || *sentinel != kResultSentinel)
        return std::nullopt;
    std::optional<Text> headerText = block.readText();
    std::optional<std::string> body = block.readBytes();
    if (!headerText || !body)
        return std::nullopt;
    return FetchResult{std::move(*headerText), std::move(*body)};
}

} // namespace tavrin::net
