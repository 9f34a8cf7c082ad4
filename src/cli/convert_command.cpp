#include "cli/convert_command.h"

#include "base/file_io.h"
#include "base/list_store.h"
#include "base/utf8_path.h"
#include "cli/cli.h"
#include "cli/cli_texts.h"
#include "cli/load_refusal.h"
#include "cli/path_option.h"
#include "library/url_library.h"
#include "text/encoding.h"
#include "text/gbk_text.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <ostream>
#include <string>
#include <unordered_set>

namespace tavrin::cli {

namespace {

// A sample host is a host name: no blanks, no path, nothing a URL would end the host at.
bool isHostName(std::string_view host)
{
    return !host.empty() && host.find_first_of(" \t\r\n/?#:@{}[]") == std::string_view::npos;
}

class ConvertCommand final : public Command
{
public:
    explicit ConvertCommand(CLI::App& app)
    {
        command_ = app.add_subcommand("convert", std::string(texts::kConvertDescription));
        addPathOption(*command_, "in", in_, std::string(texts::kConvertInHelp))->required();
        addPathOption(*command_, "out", out_, std::string(texts::kConvertOutHelp))->required();
        token_ = command_->add_option("--token", sampleHost_, std::string(texts::kTokenHelp));
        command_->add_flag("--dedupe", dedupe_, std::string(texts::kDedupeHelp));
    }

    [[nodiscard]] bool chosen() const override { return command_->parsed(); }

    int execute(std::ostream& out, std::ostream& err) override
    {
        if (token_->count() > 0 && !isHostName(sampleHost_)) {
            err << texts::kBadToken << '\n';
            return kExitBadArguments;
        }
        library::ImportOptions options;
        options.sampleHost = text::utf8ToGbk(sampleHost_);

        // Read as the window imports, into a list of its own: the templates are the rows'
        // sources. No site host is in use, so every "{$url}" stays as it is.
        base::ListStore list;
        library::UrlLibrary library(list, "");
        const library::LoadResult loaded = library.load(in_, {}, options);
        if (const std::optional<std::string> refused = loadRefusal(loaded)) {
            err << *refused << '\n';
            return kExitBadArguments;
        }

        std::string bytes;
        std::size_t written = 0;
        std::size_t duplicates = 0;
        // Lines where the sample host was left as it is, because something around it made it
        // part of another host (or a service's own): worth a look before the list is used.
        std::size_t stillSampled = 0;
        std::unordered_set<text::Text> seen;
        list.updateRows([&](const base::ListStore::Row& row) {
            const text::Text& line = row.source ? *row.source : row.cells[library::kUrlColumn];
            if (dedupe_ && !seen.insert(line).second) {
                ++duplicates;
                return false;
            }
            bytes += line;
            bytes += "\r\n";
            ++written;
            if (!options.sampleHost.empty() &&
                text::find(line, options.sampleHost, 1, text::CaseMode::AsciiInsensitive) > 0)
                ++stillSampled;
            return false;
        });
        // Nothing is written over the list until the whole library is ready, and then at once.
        const std::string failure = base::writeFileAtomically(out_, bytes);
        if (!failure.empty()) {
            err << texts::kCannotWrite << base::utf8FromPath(out_) << " (" << failure << ")\n";
            return kExitFailure;
        }
        out << texts::kWrote << written << texts::kTemplatesTo << base::utf8FromPath(out_) << '\n';
        if (loaded.skipped.total() > 0)
            out << skippedSummary(loaded.skipped) << '\n';
        if (dedupe_)
            out << texts::kDuplicatesDropped << duplicates << '\n';
        if (stillSampled == 1)
            out << stillSampled << texts::kLineStillHolds << sampleHost_ << texts::kCheckIt << '\n';
        else if (stillSampled > 1)
            out << stillSampled << texts::kLinesStillHold << sampleHost_ << texts::kCheckThem << '\n';
        return kExitOk;
    }

private:
    CLI::App* command_ = nullptr;
    CLI::Option* token_ = nullptr;
    std::filesystem::path in_;
    std::filesystem::path out_;
    std::string sampleHost_;
    bool dedupe_ = false;
};

} // namespace

std::unique_ptr<Command> addConvertCommand(CLI::App& app)
{
    return std::make_unique<ConvertCommand>(app);
}

} // namespace tavrin::cli
