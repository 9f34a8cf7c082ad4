#include "cli/ping_command.h"

#include "base/file_io.h"
#include "base/utf8_path.h"
#include "cli/cli.h"
#include "cli/cli_texts.h"
#include "cli/interrupt.h"
#include "cli/number_option.h"
#include "cli/program_directory.h"
#include "cli/site_option.h"
#include "net/http_post.h"
#include "net/index_now.h"
#include "net/network_init.h"
#include "net/url_parts.h"
#include "net/weblog_ping.h"
#include "text/encoding.h"
#include "text/messages.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <optional>
#include <ostream>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace tavrin::cli {

namespace {

constexpr int kDefaultPingSeconds = 30;
constexpr int kExitInterrupted = 130;
constexpr auto kInterruptPoll = std::chrono::milliseconds(20);
constexpr std::string_view kEndpointListName = "ping.txt";

// The shipped list: beside the program in a build tree, in the shared data folder (reached from
// the program's folder) once installed.
std::filesystem::path shippedEndpointList()
{
    std::filesystem::path beside = programDirectory() / kEndpointListName;
    std::error_code ignored;
    if (std::filesystem::exists(beside, ignored))
        return beside;
    return installedDataDirectory() / kEndpointListName;
}

// Whether `url` is an http or https URL with a host and without blanks or control bytes, which
// a request line cannot carry.
bool isWebUrl(std::string_view url)
{
    const bool web = text::startsWithIgnoringAsciiCase(url, "http://") ||
                     text::startsWithIgnoringAsciiCase(url, "https://");
    const bool blank = std::any_of(url.begin(), url.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F;
    });
    return web && !blank && !net::urlHost(url).empty();
}

std::string_view trimmed(std::string_view line)
{
    constexpr std::string_view kBlanks = " \t\r";
    const std::size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
}

// The services of an endpoint list: one URL a line (LF or CR LF), blank lines and lines
// starting with '#' left out. Nothing, and `problem` says why, when the file cannot be read,
// holds no service or has a line that is not an http(s) URL.
std::optional<std::vector<std::string>> readEndpoints(const std::filesystem::path& file, std::string& problem)
{
    const base::ReadResult read = base::readWholeFile(file);
    if (read.status != base::ReadResult::Status::Ok) {
        problem = std::string(texts::kCannotReadEndpoints) + base::utf8FromPath(file);
        return std::nullopt;
    }
    std::string_view rest = read.bytes;
    if (rest.starts_with("\xEF\xBB\xBF"))
        rest.remove_prefix(3);
    std::vector<std::string> endpoints;
    for (int number = 1; !rest.empty(); ++number) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = trimmed(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.empty() || line.starts_with('#'))
            continue;
        if (!isWebUrl(line)) {
            problem = std::string(texts::kNotAnEndpoint) + base::utf8FromPath(file) +
                      std::string(texts::kOnLine) + std::to_string(number) + ": " + std::string(line);
            return std::nullopt;
        }
        endpoints.emplace_back(line);
    }
    if (endpoints.empty()) {
        problem = std::string(texts::kCannotReadEndpoints) + base::utf8FromPath(file) +
                  std::string(texts::kNoEndpoints);
        return std::nullopt;
    }
    return endpoints;
}

// Why a post came back without a reply to read; nothing when a response arrived.
std::optional<std::string> noReply(const net::PostOutcome& outcome, int limitSeconds)
{
    switch (outcome.end) {
    case net::PostEnd::Response:
        return std::nullopt;
    case net::PostEnd::TimedOut:
    case net::PostEnd::Stopped:
        return std::string(texts::kNoResponseWithin) + std::to_string(limitSeconds) +
               std::string(texts::kSeconds);
    case net::PostEnd::NoResponse:
        break;
    }
    std::string reason(texts::kNoResponse);
    if (!outcome.failure.empty())
        reason += ": " + outcome.failure;
    return reason;
}

// The reason after "× ENDPOINT " for a ping, or nothing when the service took it.
std::optional<std::string> pingFailure(const net::PostOutcome& outcome, int limitSeconds)
{
    if (std::optional<std::string> none = noReply(outcome, limitSeconds))
        return none;
    // An XML-RPC server answers 200 even to a call it refuses; any other status is the web
    // server's, not the service's.
    if (outcome.status < 200 || outcome.status > 299)
        return std::string(texts::kHttpStatus) + std::to_string(outcome.status);
    using Answer = net::WeblogPingReply::Answer;
    const net::WeblogPingReply reply = net::readWeblogPingReply(outcome.body);
    switch (reply.answer) {
    case Answer::Accepted:
        return std::nullopt;
    case Answer::Refused:
        return reply.message.empty() ? std::string(texts::kFlerror) : reply.message;
    case Answer::Fault:
        return std::string(texts::kFault) + std::to_string(reply.faultCode) + ": " + reply.message;
    case Answer::NotXml:
        return std::string(texts::kNotXml) + std::string(texts::kAtLine) + std::to_string(reply.errorLine) +
               ": " + reply.message;
    case Answer::NotMethodResponse:
        return std::string(texts::kNotMethodResponse);
    case Answer::NoFlerror:
        break;
    }
    return std::string(texts::kNoFlerror);
}

// The reason after "× ENDPOINT " for an IndexNow submission, or nothing when it was taken.
std::optional<std::string> indexNowFailure(const net::PostOutcome& outcome, int limitSeconds)
{
    if (std::optional<std::string> none = noReply(outcome, limitSeconds))
        return none;
    if (net::indexNowAccepted(outcome.status))
        return std::nullopt;
    std::string reason = std::string(texts::kHttpStatus) + std::to_string(outcome.status);
    switch (outcome.status) {
    case 400:
        return reason + std::string(texts::kIndexNowBadRequest);
    case 403:
        return reason + std::string(texts::kIndexNowKeyNotValid);
    case 422:
        return reason + std::string(texts::kIndexNowUnprocessable);
    case 429:
        return reason + std::string(texts::kIndexNowTooMany);
    default:
        return reason;
    }
}

// One request in flight and how to read its outcome.
struct Request
{
    std::string endpoint;
    net::PendingPost post;
    std::optional<std::string> (*failure)(const net::PostOutcome&, int);
};

class PingCommand final : public Command
{
public:
    explicit PingCommand(CLI::App& app)
    {
        command_ = app.add_subcommand("ping", std::string(texts::kPingDescription));
        command_->add_option("--site", site_, std::string(texts::kPingSiteHelp))->required();
        command_->add_option("--feed", feed_, std::string(texts::kFeedHelp));
        command_->add_option("--name", name_, std::string(texts::kSiteNameHelp));
        command_->add_option("--endpoints", endpoints_, std::string(texts::kEndpointsHelp));
        command_->add_option("--indexnow-key", key_, std::string(texts::kIndexNowKeyHelp));
        indexNowEndpoint_ = command_->add_option("--indexnow-endpoint", indexNowUrl_,
                                                 std::string(texts::kIndexNowEndpointHelp));
        command_->add_option("--url", urls_, std::string(texts::kSubmitUrlHelp));
        command_->add_option("--timeout", timeoutSeconds_, std::string(texts::kPingTimeoutHelp))
            ->check(wholeNumberIn(0, kMaxTimeoutSeconds));
    }

    [[nodiscard]] bool chosen() const override { return command_->parsed(); }

    int execute(std::ostream& out, std::ostream& err) override
    {
        const std::optional<library::SiteAddress> site = readSiteOption(texts::kSiteOption, site_, err);
        if (!site)
            return kExitBadArguments;
        // What the services get: the host in its ASCII form, no user information.
        const std::string siteUrl = site->url();
        const std::string& host = site->host;
        if (key_.empty() && (indexNowEndpoint_->count() > 0 || !urls_.empty())) {
            err << texts::kEndpointNeedsKey << '\n';
            return kExitBadArguments;
        }
        if (!key_.empty() && !net::isIndexNowKey(key_)) {
            err << texts::kBadIndexNowKey << '\n';
            return kExitBadArguments;
        }
        if (!indexNowUrl_.empty() && !isWebUrl(indexNowUrl_)) {
            refuseValue(err, texts::kIndexNowEndpointOption, indexNowUrl_, texts::kNotWebUrl);
            return kExitBadArguments;
        }
        const std::optional<std::vector<std::string>> furtherUrls = readFurtherUrls(host, err);
        if (!furtherUrls)
            return kExitBadArguments;
        const std::filesystem::path list =
            endpoints_.empty() ? shippedEndpointList() : base::pathFromUtf8(endpoints_);
        std::string problem;
        const std::optional<std::vector<std::string>> services = readEndpoints(list, problem);
        if (!services) {
            err << problem << '\n';
            return kExitBadArguments;
        }

        net::initNetwork();
        clearInterrupt();
        const int limit = timeoutSeconds_ > 0 ? timeoutSeconds_ : kDefaultPingSeconds;
        const net::Deadline deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit);
        // Every request goes out now; the slowest service sets the time the command takes.
        std::vector<Request> requests;
        const std::string call = net::weblogPingCall(name_.empty() ? host : name_, siteUrl, feed_);
        for (const std::string& service : *services) {
            net::PostRequest post{service, std::string(net::kXmlRpcContentType), call};
            requests.push_back({service, net::PendingPost(std::move(post), deadline), &pingFailure});
        }
        if (!key_.empty()) {
            std::vector<std::string> urls{siteUrl};
            urls.insert(urls.end(), furtherUrls->begin(), furtherUrls->end());
            const std::string endpoint =
                indexNowUrl_.empty() ? std::string(net::kIndexNowEndpoint) : indexNowUrl_;
            net::PostRequest post{endpoint, std::string(net::kIndexNowContentType),
                                  net::indexNowBody(host, key_, urls)};
            requests.push_back({endpoint, net::PendingPost(std::move(post), deadline), &indexNowFailure});
        }
        return report(requests, limit, out);
    }

private:
    // The --url values as IndexNow gets them, read as site addresses: an endpoint refuses the
    // whole submission when one is not on the site's host, so such a value is refused here,
    // before anything is sent. Nothing, with the reason on `err`, when one is refused.
    [[nodiscard]] std::optional<std::vector<std::string>> readFurtherUrls(const std::string& siteHost,
                                                                          std::ostream& err) const
    {
        std::vector<std::string> urls;
        for (const std::string& value : urls_) {
            const std::optional<library::SiteAddress> url = readSiteOption(texts::kUrlOption, value, err);
            if (!url)
                return std::nullopt;
            if (url->host != siteHost) {
                refuseValue(err, texts::kUrlOption, value, std::string(texts::kNotOfSiteHost) + siteHost);
                return std::nullopt;
            }
            urls.push_back(url->url());
        }
        return urls;
    }

    // Prints every outcome in order; Ctrl-C stops the waiting (the requests are dropped).
    static int report(std::vector<Request>& requests, int limit, std::ostream& out)
    {
        std::stop_source interrupted;
        const std::jthread watcher([&interrupted](const std::stop_token& done) {
            while (!done.stop_requested()) {
                if (interruptRequested()) {
                    interrupted.request_stop();
                    return;
                }
                std::this_thread::sleep_for(kInterruptPoll);
            }
        });
        const std::string success = text::gbkToUtf8(msg::kMarkSuccess);
        const std::string failure = text::gbkToUtf8(msg::kMarkFailure);
        bool allTaken = true;
        for (Request& request : requests) {
            const net::PostOutcome outcome = request.post.wait(interrupted.get_token());
            if (interrupted.stop_requested())
                return kExitInterrupted;
            const std::optional<std::string> why = request.failure(outcome, limit);
            if (why)
                out << failure << ' ' << request.endpoint << ' ' << *why << '\n';
            else
                out << success << ' ' << request.endpoint << '\n';
            out.flush();
            allTaken = allTaken && !why;
        }
        return allTaken ? kExitOk : kExitFailure;
    }

    CLI::App* command_ = nullptr;
    CLI::Option* indexNowEndpoint_ = nullptr;
    std::string site_;
    std::string feed_;
    std::string name_;
    std::string endpoints_;
    std::string key_;
    std::string indexNowUrl_;
    std::vector<std::string> urls_;
    int timeoutSeconds_ = 0;
};

} // namespace

std::unique_ptr<Command> addPingCommand(CLI::App& app)
{
    return std::make_unique<PingCommand>(app);
}

} // namespace tavrin::cli
