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
inline constexpr std::string_view kFetchSiteHelp =
    "your site address: the page is searched for its host (mention, link), and a URL holding {$url} is "
    "expanded with it";
inline constexpr std::string_view kRequireMentionHelp =
    "fail a page that does not mention your site (\"site not mentioned\")";
inline constexpr std::string_view kRequireLinkHelp =
    "fail a page that does not link to your site (\"no link to site\")";
inline constexpr std::string_view kBaselineHelp =
    "also request each template for a host nobody owns, and fail a page that is the same as that one "
    "(\"same page for any site\")";
inline constexpr std::string_view kNeedsSite =
    "tavrin-cli: --require-mention, --require-link and --baseline need --site";

inline constexpr std::string_view kFinalUrl = "final URL: ";
inline constexpr std::string_view kAttempts = "attempts: ";
inline constexpr std::string_view kTitle = "title: ";
inline constexpr std::string_view kMentionsSite = "mentions site: ";
inline constexpr std::string_view kLinksToSite = "links to site: ";
inline constexpr std::string_view kYes = "yes";
inline constexpr std::string_view kNo = "no";

inline constexpr std::string_view kBodyLength = "body length: ";
inline constexpr std::string_view kBytes = " bytes";
inline constexpr std::string_view kBodyCut = " (cut at the 8 MiB limit)";
inline constexpr std::string_view kNoResponse = "no response";
inline constexpr std::string_view kNoResponseWithin = "no response within ";
inline constexpr std::string_view kSeconds = " s";
inline constexpr std::string_view kNotPerformed = "request not performed";

inline constexpr std::string_view kSubmitDescription =
    "Run submission passes over a template file, as the start button does, and save or report the result";
inline constexpr std::string_view kSiteHelp = "your site address; its host replaces {$url}";
inline constexpr std::string_view kTemplatesHelp = "template file (default: url.txt beside the program)";
inline constexpr std::string_view kThreadsHelp = "worker threads, 1 to 500 (default 50)";
inline constexpr std::string_view kLoopHelp = "number of passes (default 1)";
inline constexpr std::string_view kSaveHelp =
    "write the templates back to this file, your host turned into {$url}";
inline constexpr std::string_view kOnlySuccessHelp = "with --save, keep only the rows marked as successful";
inline constexpr std::string_view kJsonHelp = "write one JSON object per checked row to this file";
inline constexpr std::string_view kPassStatsHelp =
    "after every pass, print its figures on stderr: rows marked, successes, failures, retries, seconds, "
    "resident and peak memory, threads and open files of the process";
inline constexpr std::string_view kCannotReadTemplates = "tavrin-cli: cannot read the template file ";
inline constexpr std::string_view kOver256MB = " (larger than 256 MB)";
inline constexpr std::string_view kNotText = " (not a text file)";
inline constexpr std::string_view kTooManyTemplates = " (more than 1,000,000 templates)";
inline constexpr std::string_view kCannotWriteReport = "tavrin-cli: cannot write the report ";
inline constexpr std::string_view kPassSummary = "pass ";
inline constexpr std::string_view kPassStats = " stats: ";

} // namespace tavrin::cli::texts
