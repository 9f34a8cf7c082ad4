#include "cli/pass_printer.h"

#include "cli/cli_texts.h"
#include "text/encoding.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <string_view>

namespace tavrin::cli {

namespace {

// The report's word for what the baseline rule made of a row; nothing when the rule was off or
// not reached.
std::optional<std::string_view> baselineWord(submit::BaselineCheck check)
{
    switch (check) {
    case submit::BaselineCheck::Differs:
        return texts::kBaselineDiffers;
    case submit::BaselineCheck::Same:
        return texts::kBaselineSame;
    case submit::BaselineCheck::Unreadable:
        return texts::kBaselineUnreadable;
    case submit::BaselineCheck::NotApplied:
        break;
    }
    return std::nullopt;
}

} // namespace

std::string reportLine(int pass, const text::Text& url, const submit::RowResult& result,
                       std::string_view shard, std::string_view site)
{
    const submit::RowEvidence& evidence = result.evidence;
    nlohmann::ordered_json line;
    line["pass"] = pass;
    if (!site.empty())
        line["site"] = text::gbkToUtf8(site);
    line["url"] = text::gbkToUtf8(url);
    // A row no proxy could check has no verdict; its mark says so in words.
    line["mark"] = result.mark == library::Mark::NotChecked ? std::string(texts::kNotChecked)
                                                            : text::gbkToUtf8(library::markText(result.mark));
    line["status"] = result.httpStatus > 0 ? nlohmann::ordered_json(result.httpStatus) : nullptr;
    line["test"] = result.reason;
    line["ms"] = result.milliseconds;
    line["final_url"] = evidence.finalUrl.empty()
                            ? nlohmann::ordered_json(nullptr)
                            : nlohmann::ordered_json(text::gbkToUtf8(evidence.finalUrl));
    line["attempts"] = evidence.attempts;
    line["bytes"] = evidence.bytes;
    line["title"] = evidence.titleUtf8;
    line["mentions"] = evidence.mentionsSite;
    line["links"] = evidence.linksToSite;
    if (const auto baseline = baselineWord(evidence.baseline))
        line["baseline"] = *baseline;
    if (!shard.empty())
        line["shard"] = shard;
    // A title cut from a page is UTF-8 as far as it goes, but a report must never fail over a
    // stray byte.
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

PassPrinter::PassPrinter(base::AtomicFileWriter* report, std::string shard)
    : report_(report)
    , shard_(std::move(shard))
{}

void PassPrinter::beginPass(int pass)
{
    pass_ = pass;
    succeeded_ = 0;
    failed_ = 0;
    notChecked_ = 0;
    retries_ = 0;
    const std::lock_guard lock(mutex_);
    completed_ = false;
    progress_ = {};
}

bool PassPrinter::waitForCompletion(std::chrono::milliseconds wait)
{
    std::unique_lock lock(mutex_);
    return completedChanged_.wait_for(lock, wait, [this] { return completed_; });
}

PassProgress PassPrinter::progress() const
{
    const std::lock_guard lock(mutex_);
    return progress_;
}

void PassPrinter::rowStarted(const submit::SubmitRow& row, int started, int rows)
{
    const std::lock_guard lock(mutex_);
    progress_ = {started, rows, row.url};
}

void PassPrinter::rowChecked(const submit::SubmitRow& row, const submit::RowResult& result)
{
    switch (result.mark) {
    case library::Mark::Success:
        succeeded_.fetch_add(1);
        break;
    case library::Mark::Failure:
        failed_.fetch_add(1);
        break;
    case library::Mark::NotChecked:
        notChecked_.fetch_add(1);
        break;
    case library::Mark::Pending:
    case library::Mark::Working:
        break;
    }
    retries_.fetch_add(std::max(result.evidence.attempts - 1, 0));
    if (!report_)
        return;
    const std::string line =
        reportLine(pass_.load(), row.url, result, shard_, siteOf_ ? siteOf_(row.listIndex) : text::Text());
    const std::lock_guard lock(reportMutex_);
    report_->append(line);
}

void PassPrinter::passCompleted()
{
    {
        const std::lock_guard lock(mutex_);
        completed_ = true;
    }
    completedChanged_.notify_all();
}

} // namespace tavrin::cli
