#include "cli/fetch_command.h"

#include "cli/cli.h"
#include "cli/cli_texts.h"
#include "cli/number_option.h"
#include "cli/proxy_option.h"
#include "cli/site_option.h"
#include "library/site_host.h"
#include "net/http_transfer.h"
#include "net/network_init.h"
#include "net/timed_fetch.h"
#include "submit/classify_response.h"
#include "submit/http_row_check.h"
#include "text/encoding.h"
#include "text/messages.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <ostream>
#include <string>

namespace tavrin::cli {

namespace {

class FetchCommand final : public Command
{
public:
    explicit FetchCommand(CLI::App& app)
    {
        command_ = app.add_subcommand("fetch", std::string(texts::kFetchDescription));
        command_->add_option("url", url_, std::string(texts::kUrlHelp))->required();
        command_->add_option("--timeout", timeoutSeconds_, std::string(texts::kTimeoutHelp))
            ->check(wholeNumberIn(0, kMaxTimeoutSeconds));
        command_->add_option("--method", method_, std::string(texts::kMethodHelp))
            ->check(CLI::IsMember({"GET", "POST"}, CLI::ignore_case));
        command_->add_option("--proxy", proxy_, std::string(texts::kProxyHelp));
        command_->add_option("--referer", referer_, std::string(texts::kRefererHelp));
        command_->add_option("--accept", accept_, std::string(texts::kAcceptHelp));
        data_ = command_->add_option("--data", body_, std::string(texts::kDataHelp));
        command_->add_option("--site", site_, std::string(texts::kFetchSiteHelp));
        command_->add_flag("--require-mention", checks_.requireMention,
                           std::string(texts::kRequireMentionHelp));
        command_->add_flag("--require-link", checks_.requireLink, std::string(texts::kRequireLinkHelp));
        command_->add_flag("--baseline", checks_.baseline, std::string(texts::kBaselineHelp));
    }

    [[nodiscard]] bool chosen() const override { return command_->parsed(); }

    int execute(std::ostream& out, std::ostream& err) override
    {
        if (site_.empty() && (checks_.requireMention || checks_.requireLink || checks_.baseline)) {
            err << texts::kNeedsSite << '\n';
            return kExitBadArguments;
        }
        if (!proxyOptionUsable(proxy_, err))
            return kExitBadArguments;
        std::optional<library::SiteAddress> site;
        if (!site_.empty() && !(site = readSiteOption(texts::kSiteOption, site_, err)))
            return kExitBadArguments;
        net::initNetwork();
        // Everything inside the program is GBK; the terminal speaks UTF-8.
        submit::CheckOptions checks = checks_;
        const int limit = timeoutSeconds_ > 0 ? timeoutSeconds_ : net::kDefaultTimeLimitSeconds;
        checks.timeLimitSeconds = limit;
        checks.proxy = text::utf8ToGbk(proxy_);
        checks.requestFields.method =
            method_.empty() && data_->count() > 0 ? "POST" : text::utf8ToGbk(method_);
        checks.requestFields.referer = text::utf8ToGbk(referer_);
        checks.requestFields.accept = text::utf8ToGbk(accept_);
        checks.requestFields.body = text::utf8ToGbk(body_);

        // The rules of a submission pass, retries included: the verdict is the one a pass would
        // give this URL.
        const submit::RowRequest row = rowRequest(site ? site->host : text::Text());
        net::FetchOutcome last;
        const submit::RowResult checked = submit::checkRow(row, checks, {}, &last);

        if (last.end == net::FetchEnd::Response)
            out << text::gbkToUtf8(last.headerText);
        else
            out << noResponseLine(last, limit) << '\n';
        out << texts::kBodyLength << last.body.size() << texts::kBytes;
        if (last.bodyCapped)
            out << texts::kBodyCut;
        out << '\n';
        out << text::gbkToUtf8(library::markText(checked.mark));
        // A URL that the proxy could not carry has no verdict: the line says why instead.
        if (checked.mark == library::Mark::NotChecked)
            out << ' ' << checked.reason;
        else if (checked.decidedBy != submit::ResponseTest::Passed)
            out << ' ' << submit::describeVerdict({false, checked.decidedBy, checked.httpStatus});
        out << '\n';
        printEvidence(out, checked.evidence, !row.siteHost.empty());
        return checked.mark == library::Mark::NotChecked ? kExitFailure : kExitOk;
    }

private:
    // The URL to request and what is known of the site: with the host of --site, a URL holding
    // "{$url}" is a template and is expanded with it.
    [[nodiscard]] submit::RowRequest rowRequest(const text::Text& siteHost) const
    {
        submit::RowRequest row;
        row.url = text::utf8ToGbk(url_);
        if (siteHost.empty())
            return row;
        row.siteHost = siteHost;
        if (row.url.find(msg::kPlaceholder) != text::Text::npos) {
            row.templateText = library::templateOf(row.url);
            row.url = library::expandTemplate(*row.templateText, row.siteHost);
        }
        return row;
    }

    static void printEvidence(std::ostream& out, const submit::RowEvidence& evidence, bool knowsSite)
    {
        if (!evidence.finalUrl.empty())
            out << texts::kFinalUrl << text::gbkToUtf8(evidence.finalUrl) << '\n';
        out << texts::kAttempts << evidence.attempts << '\n';
        if (!evidence.titleUtf8.empty())
            out << texts::kTitle << evidence.titleUtf8 << '\n';
        if (knowsSite) {
            out << texts::kMentionsSite << (evidence.mentionsSite ? texts::kYes : texts::kNo) << '\n';
            out << texts::kLinksToSite << (evidence.linksToSite ? texts::kYes : texts::kNo) << '\n';
        }
        switch (evidence.baseline) {
        case submit::BaselineCheck::Differs:
            out << texts::kControlPage << texts::kControlDiffers << '\n';
            break;
        case submit::BaselineCheck::Same:
            out << texts::kControlPage << texts::kControlSame << '\n';
            break;
        case submit::BaselineCheck::Unreadable:
            out << texts::kControlPage << texts::kControlUnreadable << '\n';
            break;
        case submit::BaselineCheck::NotApplied:
            break;
        }
    }

    static std::string noResponseLine(const net::FetchOutcome& outcome, int limit)
    {
        switch (outcome.end) {
        case net::FetchEnd::TimedOut:
        case net::FetchEnd::Stopped:
            return std::string(texts::kNoResponseWithin) + std::to_string(limit) +
                   std::string(texts::kSeconds);
        case net::FetchEnd::Refused:
            return std::string(texts::kNotPerformed);
        case net::FetchEnd::NoResponse:
        case net::FetchEnd::Response:
            break;
        }
        std::string line(texts::kNoResponse);
        if (!outcome.failure.empty())
            line += ": " + outcome.failure;
        return line;
    }

    CLI::App* command_ = nullptr;
    CLI::Option* data_ = nullptr;
    std::string url_;
    int timeoutSeconds_ = 0;
    std::string method_;
    std::string proxy_;
    std::string referer_;
    std::string accept_;
    std::string body_;
    std::string site_;
    submit::CheckOptions checks_;
};

} // namespace

std::unique_ptr<Command> addFetchCommand(CLI::App& app)
{
    return std::make_unique<FetchCommand>(app);
}

} // namespace tavrin::cli
