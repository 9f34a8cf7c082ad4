// What tavrin-cli submit hears of a pass: it counts the marks and retries, streams the JSON
// report, keeps which row was started last, and tells the command when the pass has completed.
//
// Threads: the PassListener reports arrive on the engine's worker threads; the command reads the
// counts and waits for completion on its own thread.
#pragma once

#include "base/file_io.h"
#include "submit/submission_engine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin::cli {

// The JSON report's line for one checked row (UTF-8, ending in a line feed).
// `shard` ("K/N") is recorded when the run is one shard of a split one, `site` (GBK) when it
// covers several sites.
[[nodiscard]] std::string reportLine(int pass, const text::Text& url, const submit::RowResult& result,
                                     std::string_view shard = {}, std::string_view site = {});

// The row started last in a pass: the `started`-th of `rows`.
struct PassProgress
{
    int started = 0;
    int rows = 0;
    text::Text url; // GBK
};

class PassPrinter final : public submit::PassListener
{
public:
    // `report`, when given, receives one line per checked row; `shard` ("K/N") goes into every
    // line when the run is one shard of a split one.
    explicit PassPrinter(base::AtomicFileWriter* report, std::string shard = {});

    // For a run over several sites: the site of each row by its position, for the report.
    void setSiteOf(std::function<text::Text(int listIndex)> siteOf) { siteOf_ = std::move(siteOf); }
    // A new pass, numbered from 1, is about to start.
    void beginPass(int pass);
    // Waits at most `wait` for the pass to complete; true once it has, and then every row of it
    // is counted.
    bool waitForCompletion(std::chrono::milliseconds wait);
    // The row started last; started is 0 before the first.
    [[nodiscard]] PassProgress progress() const;

    // Rows of this pass marked √ and ×: any other result is no verdict on the row.
    [[nodiscard]] int succeeded() const { return succeeded_.load(); }
    [[nodiscard]] int failed() const { return failed_.load(); }
    // Rows that no proxy could check (neither √ nor ×).
    [[nodiscard]] int notChecked() const { return notChecked_.load(); }
    // Requests made again after a transient answer, in this pass.
    [[nodiscard]] int retries() const { return retries_.load(); }

    // PassListener: worker threads.
    void rowStarted(const submit::SubmitRow& row, int started, int rows) override;
    void rowChecked(const submit::SubmitRow& row, const submit::RowResult& result) override;
    void passCompleted() override;

private:
    base::AtomicFileWriter* report_;
    const std::string shard_;
    std::function<text::Text(int listIndex)> siteOf_;
    std::atomic<int> pass_{0};
    std::atomic<int> succeeded_{0};
    std::atomic<int> failed_{0};
    std::atomic<int> notChecked_{0};
    std::atomic<int> retries_{0};

    mutable std::mutex mutex_;
    std::condition_variable completedChanged_;
    bool completed_ = false; // guarded by mutex_
    PassProgress progress_;  // guarded by mutex_
    // One writer at a time: the report is a single file.
    std::mutex reportMutex_;
};

} // namespace tavrin::cli
