// One shard of a run split across machines: `--shard K/N` takes the rows whose position in the
// template file, counted from 0, leaves K when divided by N. The same file gives every machine
// the same split, run after run, and the N shards together are every row exactly once.
#pragma once

#include "base/list_store.h"

#include <optional>
#include <string>
#include <string_view>

namespace tavrin::cli {

struct Shard
{
    int index = 0; // K, from 0 to count - 1
    int count = 1; // N

    // "K/N", as the report and the history keep it.
    [[nodiscard]] std::string text() const;
};

// The shard "K/N" names; nothing, with the reason in `why`, for anything else (N below 1, K not
// below N, not two whole numbers).
[[nodiscard]] std::optional<Shard> parseShard(std::string_view given, std::string& why);

// Leaves in `list` only the shard's rows, in their order, each keeping its number.
void keepShard(base::ListStore& list, const Shard& shard);

} // namespace tavrin::cli
