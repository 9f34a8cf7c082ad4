// The HTML report of a run: a run cut short says so and how much of it was never checked, and
// counts read right in the singular.
#include "history/html_report.h"

#include "history/history_store.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin::history {
namespace {

using testing_support::TempDir;

TEST(HtmlReport, SaysWhatARunLeftUncheckedAndCountsInTheSingular)
{
    TempDir dir;
    std::string error;
    const std::unique_ptr<HistoryStore> store =
        HistoryStore::open(dir / "history.sqlite", OpenMode::Record, error);
    ASSERT_TRUE(store) << error;

    // Runs of one site over 500 templates, one after another; each report is read after its run.
    const struct
    {
        const char* name;
        int threads;
        int checked;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    } cases[] = {
        {"the first run, whole, one thread",
         1,
         500,
         {"<td>From</td><td>cli, 1 thread</td>", "Success rate of the last run for this site",
          "<td>Checked</td><td>500</td>"},
         {"did not finish", "Not checked", "1 threads", "last 1 runs"}},
        {"stopped after 441",
         4,
         441,
         {"This run did not finish: it was stopped, or the program ended, before 59 of its 500 templates "
          "were checked.",
          "<td>Checked</td><td>441</td>", "<td>Not checked</td><td>59</td>", "cli, 4 threads",
          "Success rate of the last 2 runs for this site"},
         {}},
        {"one row short",
         4,
         499,
         {"before one of its 500 templates was checked.", "<td>Not checked</td><td>1</td>"},
         {}},
        {"nothing checked", 4, 0, {"before 500 of its 500 templates were checked."}, {}},
    };
    Seconds at = 1000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunInfo info;
        info.started = at;
        info.siteHost = "mine.example";
        info.frontEnd = "cli";
        info.threads = c.threads;
        info.rows = 500;
        const std::optional<std::int64_t> run = store->beginRun(info, error);
        ASSERT_TRUE(run) << error;
        std::vector<CheckRecord> checks(static_cast<std::size_t>(c.checked));
        for (int row = 0; row < c.checked; ++row) {
            CheckRecord& check = checks[static_cast<std::size_t>(row)];
            check.templateText = "http://t" + std::to_string(row) + ".example/{$url}";
            check.success = row % 2 == 0;
            check.status = 200;
            check.milliseconds = 10;
            check.at = at;
        }
        ASSERT_TRUE(store->record(*run, checks, at + 5, error)) << error;
        const std::optional<std::string> html = htmlReport(*store, *run, error);
        ASSERT_TRUE(html) << error;
        for (const std::string& text : c.present)
            EXPECT_NE(html->find(text), std::string::npos) << text;
        for (const std::string& text : c.absent)
            EXPECT_EQ(html->find(text), std::string::npos) << text;
        at += 100;
    }
}

} // namespace
} // namespace tavrin::history
