// The two records that travel through a FetchBlock: the request a caller writes, and the
// result that replaces it once the request has been performed.
//
// Only httpFetch(FetchBlock*) and its callers use them. Every other fetch hands a FetchRequest
// to the network thread and gets a typed outcome back, without going through bytes.
#pragma once

#include "net/fetch_block.h"
#include "net/fetch_request.h"

#include <optional>
#include <string>
#include <string_view>

namespace tavrin::net {

inline constexpr std::string_view kRequestSentinel = "Kestrow";
inline constexpr std::string_view kResultSentinel = "Kestrow_OK";

// What came back. An empty header text means that no response arrived.
struct FetchResult
{
    Text headerText;
    std::string body;

    friend bool operator==(const FetchResult&, const FetchResult&) = default;
};

// The request record from the start of the block, in this order: "Kestrow", URL, method,
// proxy, user name, password, referer, accept (texts), body (byte string). The block holds
// nothing else afterwards; the position is left after the record.
void writeRequestRecord(FetchBlock& block, const FetchRequest& request);

// Reads the request record from the start of the block. Nothing when the first text is not
// exactly "Kestrow" (the block is then left as it was). Fields missing at the end of a short
// record read as empty.
[[nodiscard]] std::optional<FetchRequest> readRequestRecord(FetchBlock& block);

// Empties the block and writes the result record from its start: "Kestrow_OK", the header
// text, the body (byte string). A body too long for the record's length field is left out,
// which makes the record read back as no result.
void writeResultRecord(FetchBlock& block, const FetchResult& result);

// The result record from the start of the block; nothing unless it begins with exactly
// "Kestrow_OK" and holds both of its values in full.
[[nodiscard]] std::optional<FetchResult> readResultRecord(FetchBlock& block);

} // namespace tavrin::net
