// tavrin-cli's options as --help shows them and as values are refused: every whole-number option
// names its real range in its help and when it refuses a value, and every help reads as an option
// column and a description column apart.
#include "support/cli_run.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace tavrin::cli {
namespace {

using testing_support::CliRun;
using testing_support::linesOf;
using testing_support::runCli;
using testing_support::TempDir;

// The description of `option` in a help text, joined from its line and the next when it starts
// on a line of its own.
std::string helpOf(const std::string& help, const std::string& option)
{
    const std::vector<std::string> lines = linesOf(help);
    for (std::size_t at = 0; at < lines.size(); ++at) {
        if (lines[at].starts_with("  " + option + " ") || lines[at] == "  " + option)
            return lines[at] + (at + 1 < lines.size() ? lines[at + 1] : "");
    }
    return {};
}

TEST(CliOptions, EveryWholeNumberOptionSaysItsRange)
{
    TempDir dir;
    const std::string missing = (dir / "missing").string();
    // Each command with what it needs besides the option; where a value is accepted, the run
    // then ends on something else at once (a file that is not there, a site refused).
    const std::vector<std::string> submit = {"submit",      "--site", "a.example",
                                             "--templates", missing,  "--no-history"};
    const std::vector<std::string> fetch = {"fetch", "--site", "http://", "http://127.0.0.1:1/"};
    const std::vector<std::string> ping = {"ping", "--site", "http://"};
    const std::vector<std::string> history = {"history", "--db", missing};
    const std::vector<std::string> prune = {"prune", "--templates", missing, "--save",
                                            missing, "--db",        missing};
    const std::vector<std::string> report = {"report", "--html", missing, "--db", missing};
    const struct
    {
        std::vector<std::string> command;
        std::string option;
        std::string range;
        std::vector<std::string> refused;
        std::string accepted;
    } cases[] = {
        {submit, "--threads", "1 to 500", {"0", "501", "ten"}, "500"},
        {submit, "--loop", "1 to 1000000", {"0", "1000001", "99999999999999999999999"}, "1000000"},
        {submit, "--timeout", "0 to 86400", {"-1", "86401", "1.5", ""}, "86400"},
        {submit, "--per-host", "1 to 500", {"0", "501", "+3"}, "1"},
        {fetch, "--timeout", "0 to 86400", {"-1", "86401"}, "0"},
        {ping, "--timeout", "0 to 86400", {"-1", "86401"}, "86400"},
        {history, "--runs", "1 to 1000000", {"0", "1000001"}, "1000000"},
        {prune, "--failed-runs", "2 to 1000000", {"1", "1000001", "0x10"}, "2"},
        {report, "--run", "1 or more", {"0", "-3", "1e3"}, "9223372036854775807"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command.front() + " " + c.option);
        const std::string words =
            c.range.ends_with(" or more") ? "a whole number of " + c.range : "a whole number from " + c.range;
        for (const std::string& value : c.refused) {
            SCOPED_TRACE(value);
            std::vector<std::string> arguments = c.command;
            arguments.insert(arguments.end(), {c.option, value});
            const CliRun result = runCli(arguments);
            EXPECT_EQ(result.exitCode, 2);
            EXPECT_EQ(linesOf(result.err).front(), c.option + ": \"" + value + "\" is not " + words);
            EXPECT_EQ(result.out, "");
        }
        std::vector<std::string> arguments = c.command;
        arguments.insert(arguments.end(), {c.option, c.accepted});
        const CliRun accepted = runCli(arguments);
        EXPECT_NE(accepted.exitCode, 0) << "ends on something else";
        EXPECT_EQ(accepted.err.find("whole number"), std::string::npos) << accepted.err;

        const CliRun help = runCli({c.command.front(), "--help"});
        ASSERT_EQ(help.exitCode, 0);
        EXPECT_NE(helpOf(help.out, c.option).find(c.range), std::string::npos) << help.out;
    }
}

TEST(CliOptions, EveryHelpSetsTheOptionsApartFromTheirDescriptions)
{
    // What may stand in the option column: the names, the kind of value, "..." for a repeatable
    // one, REQUIRED. Anything else there (CLI11's "Excludes: --db") runs into the description.
    const std::regex optionColumn(
        R"(  (-h,)?(--)?[a-z][a-z-]*( [A-Z]+(:\{[A-Z,]+\})?)?( \.\.\.)?( REQUIRED)?)");
    for (const char* command : {"", "fetch", "submit", "convert", "ping", "history", "prune", "report"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> arguments;
        if (*command != '\0')
            arguments.push_back(command);
        arguments.push_back("--help");
        const CliRun help = runCli(arguments);
        ASSERT_EQ(help.exitCode, 0);
        EXPECT_EQ(help.out.find("Excludes"), std::string::npos);
        EXPECT_EQ(help.out.find("Needs"), std::string::npos);
        const std::vector<std::string> lines = linesOf(help.out);
        int rows = 0;
        for (std::size_t at = 0; at < lines.size(); ++at) {
            const std::string& line = lines[at];
            // A row of the option or subcommand tables; its description continues indented.
            if (!line.starts_with("  ") || line.starts_with("   "))
                continue;
            SCOPED_TRACE(line);
            ++rows;
            const std::size_t gap = line.find("  ", 2);
            const std::string column = line.substr(0, gap);
            EXPECT_TRUE(std::regex_match(column, optionColumn)) << column;
            if (gap == std::string::npos) {
                ASSERT_LT(at + 1, lines.size());
                EXPECT_TRUE(lines[at + 1].starts_with("                              ")) << "described below";
            } else {
                EXPECT_NE(line.find_first_not_of(' ', gap), std::string::npos) << "a description follows";
            }
        }
        EXPECT_GE(rows, 2);
    }
}

} // namespace
} // namespace tavrin::cli
