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
inline constexpr std::string_view kTimeoutHelp =
    "time limit in seconds, counted from the start, 0 to 86400 (0: 90)";
inline constexpr std::string_view kMethodHelp = "GET or POST (default GET; POST when --data is given)";
inline constexpr std::string_view kProxyHelp =
    "proxy: [SCHEME://][USER:PASSWORD@]HOST:PORT. A bare HOST:PORT is an HTTP proxy for http URLs only "
    "(https URLs go direct); http:// and https:// name HTTP proxies that carry https URLs too (through "
    "CONNECT), socks4://, socks5:// and socks5h:// SOCKS proxies (socks5h lets the proxy resolve names). "
    "In USER and PASSWORD, write @ : / ? # % and spaces percent-encoded (%40 for @)";
inline constexpr std::string_view kBadProxy = "tavrin-cli: --proxy ";
inline constexpr std::string_view kProxiesHelp =
    "a file of proxies (one address a line, as --proxy takes them) to take turns over. A row that its "
    "proxy fails is tried through the next one; a row that no proxy could carry is marked \"not checked\", "
    "never as a failure. A proxy is set aside after 2 failures of its own in a row (refused, host not found, "
    "no connection in time, answers nothing, not a proxy's answer, HTTP 407), or once it stayed silent on 3 "
    "different services that another proxy answered";
inline constexpr std::string_view kCannotReadProxies = "tavrin-cli: cannot read the list of proxies ";
inline constexpr std::string_view kProxyLine = " (line ";
inline constexpr std::string_view kNoProxyInList = " (no proxy in it)";
// Why a proxy address cannot be used, after the address (its password shown as ***).
inline constexpr std::string_view kProxySchemes =
    ": the scheme must be http, https, socks4, socks5 or socks5h";
inline constexpr std::string_view kProxyNoHost = ": no host in it";
inline constexpr std::string_view kProxyBadHost = ": not a host name, an IPv4 address or an [IPv6] address";
inline constexpr std::string_view kProxyNoPort = ": no port in it (HOST:PORT)";
inline constexpr std::string_view kProxyBadPort = ": the port must be a number from 1 to 65535";
inline constexpr std::string_view kProxyBadCredentials =
    ": write USER:PASSWORD@ with @ : / ? # % and spaces in them percent-encoded";
inline constexpr std::string_view kProxyTextAfterPort = ": nothing may follow the port";
// "tavrin-cli: proxy ADDRESS set aside: REASON", one line per proxy as it is set aside.
inline constexpr std::string_view kProxySetAside = "tavrin-cli: proxy ";
inline constexpr std::string_view kSetAsideBecause = " set aside: ";
inline constexpr std::string_view kSetAsideRefused = "it refused the connection";
inline constexpr std::string_view kSetAsideUnresolved = "its host name was not found";
inline constexpr std::string_view kSetAsideTimedOut = "the connection to it timed out";
inline constexpr std::string_view kSetAsideNoAnswer = "it takes connections but answers nothing";
inline constexpr std::string_view kSetAsideNotAProxy = "broken handshake, its answer was not a proxy's";
inline constexpr std::string_view kSetAsideAuthentication = "it asks for authentication (HTTP 407)";
inline constexpr std::string_view kSetAsideSilentBefore = "no answer to requests for ";
inline constexpr std::string_view kSetAsideSilentAfter = " different services while other proxies answered";
inline constexpr std::string_view kEveryProxySetAside =
    "tavrin-cli: every proxy of the list has been set aside; the pass was stopped";
inline constexpr std::string_view kTheProxySetAside =
    "tavrin-cli: the proxy has been set aside; the pass was stopped";
// The pass summary's count of rows no proxy could check, after "pass N: √ S, × F".
inline constexpr std::string_view kNotCheckedCount = ", not checked ";
// The mark of such a row in the --json report and in fetch's verdict line.
inline constexpr std::string_view kNotChecked = "not checked";
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
    "also request each template for a host nobody owns (retried as the page itself is), and fail a page "
    "that is the same as that one (\"same page for any site\"); when that control page cannot be read, "
    "the rule is not applied";
inline constexpr std::string_view kNeedsSite =
    "tavrin-cli: --require-mention, --require-link and --baseline need --site";
// What the baseline rule made of a row: the value of "baseline" in the --json report (no key
// when the rule was off or the row failed before it) ...
inline constexpr std::string_view kBaselineDiffers = "differs";
inline constexpr std::string_view kBaselineSame = "same";
inline constexpr std::string_view kBaselineUnreadable = "unreadable";
// ... and fetch's line about the control page.
inline constexpr std::string_view kControlPage = "control page: ";
inline constexpr std::string_view kControlDiffers = "differs from this page";
inline constexpr std::string_view kControlSame = "the same as this page once each host is blanked out";
inline constexpr std::string_view kControlUnreadable =
    "could not be read (no answer, an error status, or cut short); the baseline rule was not applied";

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
inline constexpr std::string_view kSiteHelp =
    "your site address (http or https, a port and path allowed); its host replaces {$url}, a Chinese name "
    "in its punycode form (xn--...) (given more than once, every site gets the passes)";
inline constexpr std::string_view kSitesHelp =
    "a file of site addresses, one a line, each getting the passes";
inline constexpr std::string_view kNeedsASite = "tavrin-cli: submit needs --site or --sites";
inline constexpr std::string_view kCannotReadSites = "tavrin-cli: cannot read the list of sites ";
inline constexpr std::string_view kNoSiteInList = " (no site in it)";
inline constexpr std::string_view kNoSiteOnLines = " (no site address on line ";
// "... on line 1, 2, 3, 4, 5 and 12 more; line 1: REASON)": the first lines by number, the rest
// counted, and why the first was refused.
inline constexpr std::string_view kAndMoreLines = " and ";
inline constexpr std::string_view kMoreLines = " more";
inline constexpr std::string_view kFirstRefusedLine = "; line ";

// A value of an option refused, with the reason: tavrin-cli: --site "http://": no host in the
// address
inline constexpr std::string_view kRefusedValue = "tavrin-cli: ";
inline constexpr std::string_view kRefusedValueOpen = " \"";
inline constexpr std::string_view kRefusedValueClose = "\": ";
inline constexpr std::string_view kSiteOption = "--site";
inline constexpr std::string_view kUrlOption = "--url";
inline constexpr std::string_view kIndexNowEndpointOption = "--indexnow-endpoint";
// Why a site address is refused.
inline constexpr std::string_view kSiteNoHost = "no host in the address";
inline constexpr std::string_view kSiteBlank = "a blank or control character inside the address";
inline constexpr std::string_view kSiteScheme = "the scheme must be http or https";
inline constexpr std::string_view kSiteBadCharacter = "a character that cannot be in a host name";
inline constexpr std::string_view kSiteEmptyLabel =
    "an empty label in the host name (two dots in a row, or a dot first)";
inline constexpr std::string_view kSiteLongLabel = "a label of the host name longer than 63 bytes";
inline constexpr std::string_view kSiteLongName = "a host name longer than 253 bytes";
inline constexpr std::string_view kSiteHyphen = "a label of the host name that starts or ends with a hyphen";
inline constexpr std::string_view kSiteBadAceLabel =
    "an xn-- label of the host name that is not valid punycode";
inline constexpr std::string_view kSiteBadPort = "the port must be a number from 1 to 65535";
inline constexpr std::string_view kSiteBadIpv4 =
    "a numeric host name that is not an IPv4 address such as 192.0.2.1";
inline constexpr std::string_view kSiteSingleLabel =
    "not a site address (the host name has no dot, as in www.example.com)";
inline constexpr std::string_view kSiteSummary = "site ";
inline constexpr std::string_view kTemplatesHelp =
    "template file (default: url.txt beside the program, else in your data folder or the installed one)";
inline constexpr std::string_view kThreadsHelp = "worker threads, 1 to 500 (default 50)";
inline constexpr std::string_view kLoopHelp = "number of passes, 1 to 1000000 (default 1)";
inline constexpr std::string_view kSaveHelp =
    "write the templates back to this file, your host turned into {$url}";
inline constexpr std::string_view kOnlySuccessHelp =
    "with --save, leave out the rows marked × (failed) and keep every other one: those marked √ and those "
    "not checked, including the rows a stopped run did not get to";
inline constexpr std::string_view kJsonHelp = "write one JSON object per checked row to this file";
inline constexpr std::string_view kPassStatsHelp =
    "after every pass, print its figures on stderr: rows marked, successes, failures, retries, seconds, "
    "resident and peak memory, threads and open files of the process";
inline constexpr std::string_view kCannotReadTemplates = "tavrin-cli: cannot read the template file ";
inline constexpr std::string_view kOver256MB = " (larger than 256 MB)";
inline constexpr std::string_view kNotText = " (not a text file)";
inline constexpr std::string_view kTooManyTemplates = " (more than 1,000,000 templates)";
inline constexpr std::string_view kCannotWriteReport = "tavrin-cli: cannot write the report ";

// What submit prints as it goes: "loaded 400 templates from url.txt", "checking 12/400: URL",
// "pass 1: √ 40, × 2, not checked 358 (stopped)", "saved 398 templates to url.txt (2 marked ×
// left out)".
inline constexpr std::string_view kLoaded = "loaded ";
inline constexpr std::string_view kTemplate = " template";
inline constexpr std::string_view kTemplates = " templates";
inline constexpr std::string_view kFrom = " from ";
inline constexpr std::string_view kChecking = "checking ";
inline constexpr std::string_view kNotCheckedLabel = "not checked ";
inline constexpr std::string_view kPassStopped = " (stopped)";
inline constexpr std::string_view kSaved = "saved ";
inline constexpr std::string_view kSavedTo = " to ";
inline constexpr std::string_view kLeftOutFailed = " marked × left out)";
inline constexpr std::string_view kCannotSave = "tavrin-cli: cannot save the templates to ";
inline constexpr std::string_view kLeftAsItWas = "; the file was left as it was";
inline constexpr std::string_view kNothingToSave = "tavrin-cli: no template to save; left as it was: ";

// An output refused before the run: "tavrin-cli: cannot write --json FILE: there is no folder
// DIR", "tavrin-cli: --json FILE is also given to --templates, which the run would replace".
inline constexpr std::string_view kCannotWriteOutput = "tavrin-cli: cannot write ";
inline constexpr std::string_view kNoFolder = "there is no folder ";
inline constexpr std::string_view kNotAFolder = " is not a folder";
inline constexpr std::string_view kIsAFolder = "a folder is in its place";
inline constexpr std::string_view kNamesNoFile = "it names a folder, not a file";
inline constexpr std::string_view kNoFileIn = "no file can be created in ";
inline constexpr std::string_view kAlsoGivenTo = " is also given to ";
inline constexpr std::string_view kWouldReplace = ", which the run would replace";
inline constexpr std::string_view kPerHostHelp =
    "check at most N rows of one service (host) at once, 1 to 500; workers wait rather than crowd it";
inline constexpr std::string_view kShardHelp =
    "check only the rows whose position in the template file (from 0) leaves K when divided by N: one "
    "shard of a run split across machines; --save then writes that shard's templates";
inline constexpr std::string_view kBadShard = "tavrin-cli: --shard ";
inline constexpr std::string_view kShardOf = "shard ";
inline constexpr std::string_view kShardRowsOf = " of ";
inline constexpr std::string_view kShardTemplates = " templates";
inline constexpr std::string_view kPassSummary = "pass ";
inline constexpr std::string_view kPassStats = " stats: ";

// A whole number refused: "--loop: "0" is not a whole number from 1 to 1000000", "--run: "0" is not
// a whole number of 1 or more".
inline constexpr std::string_view kIsNot = " is not ";
inline constexpr std::string_view kWholeNumberFrom = "a whole number from ";
inline constexpr std::string_view kRangeTo = " to ";
inline constexpr std::string_view kWholeNumberOf = "a whole number of ";
inline constexpr std::string_view kOrMore = " or more";

// What --help adds to an option's description about the others: "(needs --site)", "(not with
// --db)".
inline constexpr std::string_view kHelpNeeds = "needs ";
inline constexpr std::string_view kHelpNotWith = "not with ";

// Why a template file gives nothing to work with (load_refusal.h), after kCannotReadTemplates
// and the file's name.
inline constexpr std::string_view kNotJson = " (not valid JSON: line ";
inline constexpr std::string_view kColumn = ", column ";
inline constexpr std::string_view kNoUsableTemplates = "tavrin-cli: no template in ";
inline constexpr std::string_view kCanBeUsed = " can be used (";
// The skipped templates of a list: "3 skipped: 2 with a placeholder that cannot be mapped, 1
// with characters GBK cannot hold".
inline constexpr std::string_view kSkipped = " skipped: ";
inline constexpr std::string_view kSkippedUnmappable = " with a placeholder that cannot be mapped";
inline constexpr std::string_view kSkippedNotGbk = " with characters GBK cannot hold";
inline constexpr std::string_view kSkippedNotTemplate = " not a template";

inline constexpr std::string_view kConvertDescription =
    "Read a template list (this program's library, UTF-8 text or a JSON list of other tools) and write "
    "it as a library: GBK, CR LF line ends, every placeholder {$url}";
inline constexpr std::string_view kConvertInHelp = "the list to read";
inline constexpr std::string_view kConvertOutHelp =
    "the library to write (replaced whole; may be the list itself)";
inline constexpr std::string_view kTokenHelp =
    "a sample host the list has in place of a placeholder (e.g. example.com); where it stands as a host of "
    "its own, in any letter case, it becomes {$url}, and the lines that still hold it are counted";
inline constexpr std::string_view kDedupeHelp = "keep only the first of equal templates";
inline constexpr std::string_view kBadToken = "tavrin-cli: --token takes a host name such as example.com";
inline constexpr std::string_view kWrote = "wrote ";
inline constexpr std::string_view kTemplatesTo = " templates to ";
inline constexpr std::string_view kDuplicatesDropped = "duplicates dropped: ";
// After --token: "1 line still holds example.com; check it", "3 lines still hold example.com;
// check them".
inline constexpr std::string_view kLineStillHolds = " line still holds ";
inline constexpr std::string_view kLinesStillHold = " lines still hold ";
inline constexpr std::string_view kCheckIt = "; check it";
inline constexpr std::string_view kCheckThem = "; check them";
inline constexpr std::string_view kCannotWrite = "tavrin-cli: cannot write ";

inline constexpr std::string_view kPingDescription =
    "Tell blog ping services that your site changed (XML-RPC weblogUpdates.ping), and with a key submit its "
    "URLs to IndexNow; one line per service with the outcome";
inline constexpr std::string_view kPingSiteHelp =
    "your site's address (http:// is assumed without a scheme; a Chinese name is sent in its punycode form)";
inline constexpr std::string_view kFeedHelp =
    "your feed's address: the ping is weblogUpdates.extendedPing with it";
inline constexpr std::string_view kSiteNameHelp = "your site's name in the ping (default: its host)";
inline constexpr std::string_view kEndpointsHelp =
    "the ping services, one URL a line, # starts a comment (default: the ping.txt shipped with the program)";
inline constexpr std::string_view kIndexNowKeyHelp =
    "your IndexNow key (8 to 128 letters, digits and dashes, served by your site as /KEY.txt): submits your "
    "URLs to IndexNow";
inline constexpr std::string_view kIndexNowEndpointHelp = "the IndexNow endpoint (default "
                                                          "https://api.indexnow.org/indexnow)";
inline constexpr std::string_view kSubmitUrlHelp =
    "a further URL of your site for IndexNow, besides the site address (repeatable; on the site's host; "
    "http:// is assumed without a scheme)";
inline constexpr std::string_view kPingTimeoutHelp =
    "time limit of every request in seconds, 0 to 86400 (0: 30)";
// Why an --indexnow-endpoint or a --url is refused.
inline constexpr std::string_view kNotWebUrl = "not an http or https URL";
inline constexpr std::string_view kNotOfSiteHost = "not a URL of the site's host ";
inline constexpr std::string_view kBadIndexNowKey =
    "tavrin-cli: an IndexNow key is 8 to 128 letters a-z and A-Z, digits and dashes";
inline constexpr std::string_view kEndpointNeedsKey =
    "tavrin-cli: --indexnow-endpoint and --url need --indexnow-key";
inline constexpr std::string_view kCannotReadEndpoints = "tavrin-cli: cannot read the list of ping services ";
inline constexpr std::string_view kNoEndpoints = " (no service in it)";
inline constexpr std::string_view kNotAnEndpoint = "tavrin-cli: not an http or https URL in ";
inline constexpr std::string_view kOnLine = " on line ";
// What a service answered, after "× ENDPOINT ".
inline constexpr std::string_view kHttpStatus = "HTTP ";
inline constexpr std::string_view kFlerror = "flerror is true";
inline constexpr std::string_view kFault = "fault ";
inline constexpr std::string_view kNotXml = "not XML";
inline constexpr std::string_view kAtLine = " at line ";
inline constexpr std::string_view kNotMethodResponse = "not an XML-RPC reply";
inline constexpr std::string_view kNoFlerror = "no flerror in the reply";
inline constexpr std::string_view kIndexNowBadRequest = " (bad request)";
inline constexpr std::string_view kIndexNowKeyNotValid = " (key not valid)";
inline constexpr std::string_view kIndexNowUnprocessable =
    " (URLs not of the host, or the key not found there)";
inline constexpr std::string_view kIndexNowTooMany = " (too many requests)";

} // namespace tavrin::cli::texts
