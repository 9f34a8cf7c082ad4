#include "cli/history_command.h"

#include "cli/cli.h"
#include "cli/history_database.h"
#include "cli/history_texts.h"
#include "cli/number_option.h"
#include "history/time_text.h"
#include "text/encoding.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <ostream>

namespace tavrin::cli {

namespace {

// A CSV field: quoted when it holds a comma, a quote or a line break, its quotes doubled.
std::string csvField(const std::string& value)
{
    if (value.find_first_of(",\"\r\n") == std::string::npos)
        return value;
    std::string quoted = "\"";
    for (const char c : value) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

class HistoryCommand final : public Command
{
public:
    explicit HistoryCommand(CLI::App& app)
    {
        command_ = app.add_subcommand("history", std::string(texts::kHistoryDescription));
        command_->add_option("--site", site_, std::string(texts::kHistorySiteHelp));
        command_->add_option("--runs", runs_, std::string(texts::kRunsHelp))
            ->check(wholeNumberIn(1, kMaxRuns));
        command_->add_flag("--csv", csv_, std::string(texts::kCsvHelp));
        addDatabaseOption(*command_, database_);
    }

    [[nodiscard]] bool chosen() const override { return command_->parsed(); }

    int execute(std::ostream& out, std::ostream& err) override
    {
        const std::unique_ptr<history::HistoryStore> store = openHistoryToRead(database_, err);
        if (!store)
            return kExitFailure;
        std::string problem;
        const std::vector<history::TemplateHealth> health =
            store->templateHealth(healthFilter(site_, runs_), problem);
        if (!problem.empty()) {
            err << texts::kCannotReadHistory << problem << '\n';
            return kExitFailure;
        }
        // One buffered write: a history of many thousands of templates prints at once.
        std::string printed;
        printed.reserve(health.size() * 96);
        printed += csv_ ? texts::kCsvHeader : texts::kHistoryHeader;
        printed += '\n';
        for (const history::TemplateHealth& entry : health)
            printed += csv_ ? csvLine(entry) : tableLine(entry);
        out << printed;
        return kExitOk;
    }

private:
    static std::string tableLine(const history::TemplateHealth& entry)
    {
        char figures[96];
        const std::string lastSuccess = entry.lastSuccess
                                            ? history::localTime(*entry.lastSuccess, "%Y-%m-%d %H:%M")
                                            : std::string(texts::kNever);
        std::snprintf(figures, sizeof figures, "%6d %5d %6.1f%%  %-16s  %10d  ", entry.checks,
                      entry.successes, 100.0 * entry.successRate(), lastSuccess.c_str(),
                      entry.failuresInARow);
        return figures + text::gbkToUtf8(entry.templateText) + '\n';
    }

    static std::string csvLine(const history::TemplateHealth& entry)
    {
        char rate[16];
        std::snprintf(rate, sizeof rate, "%.4f", entry.successRate());
        return csvField(text::gbkToUtf8(entry.templateText)) + ',' + std::to_string(entry.checks) + ',' +
               std::to_string(entry.successes) + ',' + rate + ',' +
               (entry.lastSuccess ? history::utcTime(*entry.lastSuccess, "%Y-%m-%dT%H:%M:%SZ")
                                  : std::string()) +
               ',' + std::to_string(entry.failuresInARow) + ',' + std::to_string(entry.failedRunsInARow) +
               '\n';
    }

    CLI::App* command_ = nullptr;
    std::string site_;
    int runs_ = 0;
    bool csv_ = false;
    std::string database_;
};

} // namespace

std::unique_ptr<Command> addHistoryCommand(CLI::App& app)
{
    return std::make_unique<HistoryCommand>(app);
}

} // namespace tavrin::cli
