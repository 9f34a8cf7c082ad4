// httpFetch: performs the request held in a FetchBlock and puts the result in its place.
#pragma once

#include "net/fetch_block.h"
#include "net/http_transfer.h"

#include <memory>
#include <optional>

namespace tavrin::net {

class TransferJob;

// Reads the request record at the start of the block; when it does not begin with "Kestrow",
// returns false and leaves the block as it was. Otherwise empties the block, performs the
// request (GET or POST with the fixed header set, following redirects, storing cookies in the
// program-wide store), writes the result record ("Kestrow_OK", the final response's header
// text, the body) and returns true. A request that brought no response has an empty header
// text and body. A method other than GET and POST is refused: false, and the block stays
// empty.
//
// Blocks until the request ends and sets no time limit of its own; callers that need one use
// timedFetch.
bool httpFetch(FetchBlock* block);

// The first half of httpFetch, for callers that wait on their own terms: checks and empties the
// block and hands the request to the network thread. Null when httpFetch would return false
// before performing the request. The job's block receives the result record.
[[nodiscard]] std::shared_ptr<TransferJob> startFetch(FetchBlock& block, std::optional<Deadline> deadline);

} // namespace tavrin::net
