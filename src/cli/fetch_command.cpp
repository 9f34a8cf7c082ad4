#include "cli/fetch_command.h"

#include "cli/cli.h"
#include "cli/cli_texts.h"
#include "net/http_transfer.h"
#include "net/network_init.h"
#include "net/timed_fetch.h"
#include "submit/classify_response.h"
#include "text/encoding.h"

#include <CLI/CLI.hpp>

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
            ->check(CLI::NonNegativeNumber);
        command_->add_option("--method", method_, std::string(texts::kMethodHelp))
            ->check(CLI::IsMember({"GET", "POST"}, CLI::ignore_case));
        command_->add_option("--proxy", proxy_, std::string(texts::kProxyHelp));
        command_->add_option("--referer", referer_, std::string(texts::kRefererHelp));
        command_->add_option("--accept", accept_, std::string(texts::kAcceptHelp));
        data_ = command_->add_option("--data", body_, std::string(texts::kDataHelp));
    }

    [[nodiscard]] bool chosen() const override { return command_->parsed(); }

    int execute(std::ostream& out, std::ostream&) override
    {
        net::initNetwork();
        // Everything inside the program is GBK; the terminal speaks UTF-8.
        net::FetchRequest request;
        request.url = text::utf8ToGbk(url_);
        request.method = method_.empty() && data_->count() > 0 ? "POST" : text::utf8ToGbk(method_);
        request.proxy = text::utf8ToGbk(proxy_);
        request.referer = text::utf8ToGbk(referer_);
        request.accept = text::utf8ToGbk(accept_);
        request.body = text::utf8ToGbk(body_);
        const int limit = timeoutSeconds_ > 0 ? timeoutSeconds_ : net::kDefaultTimeLimitSeconds;
        const net::FetchOutcome outcome = net::runTimedFetch(request, limit);

        if (outcome.end == net::FetchEnd::Response)
            out << text::gbkToUtf8(outcome.headerText);
        else
            out << noResponseLine(outcome, limit) << '\n';
        out << texts::kBodyLength << outcome.body.size() << texts::kBytes;
        if (outcome.bodyCapped)
            out << texts::kBodyCut;
        out << '\n';

        // The rule of a submission pass: the body counts as text up to its first NUL byte.
        const submit::ResponseVerdict verdict =
            submit::classifyResponse(outcome.headerText, text::untilNul(outcome.body), false);
        out << text::gbkToUtf8(submit::verdictMark(verdict));
        if (!verdict.success)
            out << ' ' << submit::describeTest(verdict.decidedBy);
        out << '\n';
        return kExitOk;
    }

private:
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
};

} // namespace

std::unique_ptr<Command> addFetchCommand(CLI::App& app)
{
    return std::make_unique<FetchCommand>(app);
}

} // namespace tavrin::cli
