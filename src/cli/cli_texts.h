// The texts tavrin-cli prints, in one place. The terminal gets UTF-8; the marks are the
// program's own (GBK) and are converted on the way out.
#pragma once

#include <string_view>

namespace tavrin::cli::texts {

inline constexpr std::string_view kProgramDescription = "Tavrin from the command line";
inline constexpr std::string_view kFetchDescription =
    "Request one URL as a submission does, print the raw response header, the body length and the "
    "verdict with the test that decided it";
inline constexpr std::string_view kUrlHelp = "the query URL to request";
inline constexpr std::string_view kTimeoutHelp = "time limit in seconds, counted from the start (0: 90)";
inline constexpr std::string_view kMethodHelp = "GET or POST (default GET; POST when --data is given)";
inline constexpr std::string_view kProxyHelp = "HTTP proxy for http URLs";
inline constexpr std::string_view kRefererHelp = "value of the Referer line";
inline constexpr std::string_view kAcceptHelp = "value of the Accept line (default */*)";
inline constexpr std::string_view kDataHelp = "request body, sent with POST";

inline constexpr std::string_view kBodyLength = "body length: ";
inline constexpr std::string_view kBytes = " bytes";
inline constexpr std::string_view kBodyCut = " (cut at the 8 MiB limit)";
inline constexpr std::string_view kNoResponse = "no response";
inline constexpr std::string_view kNoResponseWithin = "no response within ";
inline constexpr std::string_view kSeconds = " s";
inline constexpr std::string_view kNotPerformed = "request not performed";

} // namespace tavrin::cli::texts
