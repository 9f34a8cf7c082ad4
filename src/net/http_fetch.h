// httpFetch: performs the request held in a FetchBlock and puts the result in its place.
//
// An adapter for callers that hand requests over as bytes: it reads the request record, runs
// the same typed fetch as fetchUntil (timed_fetch.h), and writes the result record into the
// caller's block once. That single write is the whole cost of the byte format; new code uses
// the typed calls instead.
#pragma once

#include "net/fetch_block.h"

namespace tavrin::net {

// Reads the request record at the start of the block; when it does not begin with "Kestrow",
// returns false and leaves the block as it was. Otherwise empties the block, performs the
// request (GET or POST with the fixed header set, following redirects, storing cookies in the
// program-wide store), writes the result record ("Kestrow_OK", the final response's header
// text, the body) and returns true. A request that brought no response has an empty header
// text and body. A method other than GET and POST is refused: false, and the block stays
// empty.
//
// Blocks until the request ends and sets no time limit of its own; callers that need one use
// fetchUntil or runTimedFetch.
bool httpFetch(FetchBlock* block);

} // namespace tavrin::net
