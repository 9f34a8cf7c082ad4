// The whole-number options of tavrin-cli (--threads, --loop, --timeout, --runs ...): each has a
// range, refused values say it (--loop: "0" is not a whole number from 1 to 1000000), and the
// help of the option gives the same range.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <limits>

namespace tavrin::cli {

// The longest time limit an option takes: a day. A row that gets no answer in a day gets none.
inline constexpr int kMaxTimeoutSeconds = 86'400;

// The most passes --loop runs.
inline constexpr int kMaxPasses = 1'000'000;

// The most runs of the history an option counts (--runs, --failed-runs).
inline constexpr int kMaxRuns = 1'000'000;

// No upper bound but the type's own (a run number of the history, say).
inline constexpr std::int64_t kNoMaximum = std::numeric_limits<std::int64_t>::max();

// Accepts a value written as a whole number (decimal digits, a minus sign before them at most)
// from `min` to `max`; anything else, a number too large for any type included, is refused with
// the range. Checked before CLI11 converts the value, so its own message (which names a range of
// doubles up to 1.8e308 for its stock validators) never shows.
[[nodiscard]] CLI::Validator wholeNumberIn(std::int64_t min, std::int64_t max = kNoMaximum);

} // namespace tavrin::cli
