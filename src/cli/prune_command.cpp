#include "cli/prune_command.h"

#include "base/file_io.h"
#include "base/utf8_path.h"
#include "cli/cli.h"
#include "cli/cli_texts.h"
#include "cli/history_database.h"
#include "cli/history_texts.h"
#include "cli/number_option.h"
#include "cli/path_option.h"
#include "library/site_host.h"
#include "library/template_import.h"
#include "text/encoding.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <unordered_map>

namespace tavrin::cli {

namespace {

// The smallest --failed-runs: one failed run says too little (a service down for an hour).
constexpr int kMinFailedRuns = 2;

class PruneCommand final : public Command
{
public:
    explicit PruneCommand(CLI::App& app)
    {
        command_ = app.add_subcommand("prune", std::string(texts::kPruneDescription));
        addPathOption(*command_, "--templates", templates_, std::string(texts::kPruneTemplatesHelp))
            ->required();
        command_->add_option("--failed-runs", failedRuns_, std::string(texts::kFailedRunsHelp))
            ->required()
            ->check(wholeNumberIn(kMinFailedRuns, kMaxRuns));
        command_->add_option("--site", site_, std::string(texts::kPruneSiteHelp));
        addPathOption(*command_, "--save", save_, std::string(texts::kPruneSaveHelp))->required();
        addDatabaseOption(*command_, database_);
    }

    [[nodiscard]] bool chosen() const override { return command_->parsed(); }

    int execute(std::ostream& out, std::ostream& err) override
    {
        const base::ReadResult file = base::readWholeFile(templates_);
        if (file.status != base::ReadResult::Status::Ok) {
            err << texts::kCannotReadTemplates << base::utf8FromPath(templates_)
                << (file.status == base::ReadResult::Status::TooLarge ? texts::kOver256MB : "") << '\n';
            return kExitBadArguments;
        }
        // The kept lines are copied byte for byte, so only the program's own format can be
        // pruned: another tool's list would have to be rewritten to drop a line of it.
        const library::TemplateImport reader(file.bytes);
        if (reader.check() == library::TemplateImport::Check::NotText) {
            err << texts::kCannotReadTemplates << base::utf8FromPath(templates_) << texts::kNotText << '\n';
            return kExitBadArguments;
        }
        if (reader.format() != library::TemplateFormat::Library) {
            err << texts::kCannotReadTemplates << base::utf8FromPath(templates_) << texts::kNotALibrary
                << '\n';
            return kExitBadArguments;
        }

        const std::unique_ptr<history::HistoryStore> store = openHistoryToRead(database_, err);
        if (!store)
            return kExitFailure;
        std::string problem;
        std::unordered_map<text::Text, int> failedRuns;
        for (history::TemplateHealth& entry : store->templateHealth(healthFilter(site_), problem))
            failedRuns.emplace(std::move(entry.templateText), entry.failedRunsInARow);
        if (!problem.empty()) {
            err << texts::kCannotReadHistory << problem << '\n';
            return kExitFailure;
        }

        std::string kept;
        kept.reserve(file.bytes.size());
        std::string droppedLines;
        std::size_t lines = 0;
        std::size_t dropped = 0;
        const std::string_view text(file.bytes.data(), std::min(file.bytes.size(), file.bytes.find('\0')));
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find("\r\n", at);
            const std::size_t next = end == std::string_view::npos ? text.size() : end + 2;
            const std::string_view line =
                text.substr(at, (end == std::string_view::npos ? text.size() : end) - at);
            const std::string_view withEnd = text.substr(at, next - at);
            at = next;
            ++lines;
            const auto found = failedRuns.find(library::templateOf(line));
            if (found != failedRuns.end() && found->second >= failedRuns_) {
                ++dropped;
                droppedLines += std::string(texts::kDroppedLine) + text::gbkToUtf8(line) +
                                std::string(texts::kFailedItsLast) + std::to_string(found->second) +
                                std::string(texts::kRunsClose) + '\n';
                continue;
            }
            kept += withEnd;
        }

        // Only --save is written, so the template file is replaced only when it is named there,
        // and then at once, never half written.
        const std::string failure = base::writeFileAtomically(save_, kept);
        if (!failure.empty()) {
            err << texts::kCannotWrite << base::utf8FromPath(save_) << " (" << failure << ")\n";
            return kExitFailure;
        }
        out << texts::kDropped << dropped << texts::kDroppedOf << lines << texts::kDroppedTemplates
            << base::utf8FromPath(save_) << '\n'
            << droppedLines;
        return kExitOk;
    }

private:
    CLI::App* command_ = nullptr;
    std::filesystem::path templates_;
    int failedRuns_ = 0;
    std::string site_;
    std::filesystem::path save_;
    std::string database_;
};

} // namespace

std::unique_ptr<Command> addPruneCommand(CLI::App& app)
{
    return std::make_unique<PruneCommand>(app);
}

} // namespace tavrin::cli
