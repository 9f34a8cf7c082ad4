#include "cli/report_command.h"

#include "base/file_io.h"
#include "base/utf8_path.h"
#include "cli/cli.h"
#include "cli/cli_texts.h"
#include "cli/history_database.h"
#include "cli/history_texts.h"
#include "cli/number_option.h"
#include "cli/path_option.h"
#include "history/html_report.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace tavrin::cli {

namespace {

class ReportCommand final : public Command
{
public:
    explicit ReportCommand(CLI::App& app)
    {
        command_ = app.add_subcommand("report", std::string(texts::kReportDescription));
        CLI::Option* run =
            command_->add_option("--run", run_, std::string(texts::kRunHelp))->check(wholeNumberIn(1));
        command_->add_flag("--last", last_, std::string(texts::kLastHelp))->excludes(run);
        addPathOption(*command_, "--html", html_, std::string(texts::kHtmlHelp))->required();
        addDatabaseOption(*command_, database_);
    }

    [[nodiscard]] bool chosen() const override { return command_->parsed(); }

    int execute(std::ostream& out, std::ostream& err) override
    {
        const std::unique_ptr<history::HistoryStore> store = openHistoryToRead(database_, err);
        if (!store)
            return kExitFailure;
        std::string problem;
        std::int64_t run = run_;
        if (run == 0) {
            const std::optional<std::int64_t> lastRun = store->lastRunId(problem);
            if (!lastRun) {
                err << (problem.empty() ? std::string(texts::kNoRunYet) + base::utf8FromPath(store->path())
                                        : std::string(texts::kCannotReadHistory) + problem)
                    << '\n';
                return kExitFailure;
            }
            run = *lastRun;
        }
        const std::optional<std::string> html = history::htmlReport(*store, run, problem);
        if (!html) {
            err << texts::kCannotReadHistory << problem << '\n';
            return kExitFailure;
        }
        const std::string failure = base::writeFileAtomically(html_, *html);
        if (!failure.empty()) {
            err << texts::kCannotWrite << base::utf8FromPath(html_) << " (" << failure << ")\n";
            return kExitFailure;
        }
        out << texts::kWroteReport << base::utf8FromPath(html_) << texts::kReportOfRun << run << ")\n";
        return kExitOk;
    }

private:
    CLI::App* command_ = nullptr;
    std::int64_t run_ = 0;
    bool last_ = false;
    std::filesystem::path html_;
    std::string database_;
};

} // namespace

std::unique_ptr<Command> addReportCommand(CLI::App& app)
{
    return std::make_unique<ReportCommand>(app);
}

} // namespace tavrin::cli
