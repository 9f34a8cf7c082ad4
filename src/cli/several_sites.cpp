#include "cli/several_sites.h"

#include "cli/cli_texts.h"
#include "cli/listed_lines.h"
#include "cli/site_option.h"
#include "library/mark.h"
#include "library/site_host.h"
#include "text/encoding.h"
#include "text/messages.h"

#include <algorithm>
#include <ostream>

namespace tavrin::cli {

namespace {

// How many refused lines are named by number; a binary file would otherwise fill the screen.
constexpr std::size_t kNamedLines = 5;

} // namespace

std::optional<std::vector<library::SiteAddress>> readSiteList(const std::string& file, std::ostream& err)
{
    const std::optional<std::vector<ListedLine>> entries = readListedLines(file);
    if (!entries) {
        err << texts::kCannotReadSites << file << '\n';
        return std::nullopt;
    }
    std::vector<library::SiteAddress> sites;
    std::vector<int> refusedLines;
    std::optional<library::SiteAddressProblem> firstProblem;
    for (const ListedLine& entry : *entries) {
        library::SiteAddressCheck checked = library::checkSiteAddress(entry.text);
        if (checked.address) {
            sites.push_back(std::move(*checked.address));
            continue;
        }
        refusedLines.push_back(entry.number);
        if (!firstProblem)
            firstProblem = checked.problem;
    }
    if (!refusedLines.empty()) {
        err << texts::kCannotReadSites << file << texts::kNoSiteOnLines;
        for (std::size_t i = 0; i < std::min(refusedLines.size(), kNamedLines); ++i)
            err << (i == 0 ? "" : ", ") << refusedLines[i];
        if (refusedLines.size() > kNamedLines)
            err << texts::kAndMoreLines << refusedLines.size() - kNamedLines << texts::kMoreLines;
        err << texts::kFirstRefusedLine << refusedLines.front() << ": " << siteProblemText(*firstProblem)
            << ")\n";
        return std::nullopt;
    }
    if (sites.empty()) {
        err << texts::kCannotReadSites << file << texts::kNoSiteInList << '\n';
        return std::nullopt;
    }
    return sites;
}

void spreadOverSites(base::ListStore& list, const std::vector<text::Text>& hosts)
{
    const std::vector<base::ListStore::Row> templates = list.rows();
    list.deleteAll();
    for (const text::Text& host : hosts) {
        for (const base::ListStore::Row& row : templates) {
            const text::Text url =
                row.source ? library::expandTemplate(*row.source, host) : row.cells[library::kUrlColumn];
            list.appendRow(
                {row.cells[library::kNumberColumn], url, library::markText(library::Mark::Pending)},
                row.source);
        }
    }
}

SiteRuns::SiteRuns(history::HistoryRecorder& recorder, std::vector<text::Text> hosts, int rowsPerSite)
    : hosts_(std::move(hosts))
    , rowsPerSite_(rowsPerSite)
{
    for (std::size_t site = 0; site < hosts_.size(); ++site)
        listeners_.push_back(recorder.makeListener());
}

submit::PassListener* SiteRuns::listenerOf(const submit::SubmitRow& row) const
{
    const std::size_t site = rowsPerSite_ > 0 ? static_cast<std::size_t>(row.listIndex / rowsPerSite_) : 0;
    return site < listeners_.size() ? listeners_[site].get() : nullptr;
}

void SiteRuns::passStarted(const submit::PassInfo& info)
{
    for (std::size_t site = 0; site < listeners_.size(); ++site)
        listeners_[site]->passStarted({rowsPerSite_, info.threads, hosts_[site]});
}

void SiteRuns::rowStarted(const submit::SubmitRow&, int, int) {}

void SiteRuns::rowChecked(const submit::SubmitRow& row, const submit::RowResult& result)
{
    if (submit::PassListener* listener = listenerOf(row))
        listener->rowChecked(row, result);
}

void SiteRuns::passCompleted()
{
    for (const auto& listener : listeners_)
        listener->passCompleted();
}

void SiteRuns::passStopped()
{
    for (const auto& listener : listeners_)
        listener->passStopped();
}

void printSiteSummary(std::ostream& out, const base::ListStore& list, const std::vector<text::Text>& hosts)
{
    const int perSite = hosts.empty() ? 0 : list.rowCount() / static_cast<int>(hosts.size());
    for (std::size_t site = 0; site < hosts.size(); ++site) {
        int succeeded = 0;
        int failed = 0;
        for (int row = static_cast<int>(site) * perSite; row < static_cast<int>(site + 1) * perSite; ++row) {
            const std::optional<library::Mark> mark = library::markAt(list, row);
            succeeded += mark == library::Mark::Success ? 1 : 0;
            failed += mark == library::Mark::Failure ? 1 : 0;
        }
        // As in the pass line: every row of the site without a verdict.
        const int notChecked = perSite - succeeded - failed;
        out << texts::kSiteSummary << text::gbkToUtf8(hosts[site]) << ": "
            << text::gbkToUtf8(msg::kMarkSuccess) << ' ' << succeeded << ", "
            << text::gbkToUtf8(msg::kMarkFailure) << ' ' << failed << texts::kNotCheckedCount << notChecked
            << '\n';
    }
}

library::SaveResult saveForSites(const base::ListStore& list, const std::vector<text::Text>& hosts,
                                 const std::filesystem::path& path, library::RowsToSave which,
                                 library::EmptySave whenEmpty)
{
    const int sites = static_cast<int>(hosts.size());
    const std::vector<base::ListStore::Row> rows = list.rows();
    const std::size_t perSite = sites > 0 ? rows.size() / static_cast<std::size_t>(sites) : rows.size();
    base::ListStore once;
    for (std::size_t at = 0; at < perSite; ++at) {
        // A template works when it works for any site, and has failed only when it failed for
        // every one; otherwise some site has no verdict on it yet.
        bool anySuccess = false;
        bool allFailed = true;
        for (std::size_t site = 0; site < static_cast<std::size_t>(sites); ++site) {
            const std::optional<library::Mark> mark =
                library::markAt(list, static_cast<int>(site * perSite + at));
            anySuccess = anySuccess || mark == library::Mark::Success;
            allFailed = allFailed && mark == library::Mark::Failure;
        }
        const library::Mark mark = anySuccess  ? library::Mark::Success
                                   : allFailed ? library::Mark::Failure
                                               : library::Mark::Pending;
        const base::ListStore::Row& row = rows[at];
        once.appendRow(
            {row.cells[library::kNumberColumn], row.cells[library::kUrlColumn], library::markText(mark)},
            row.source);
    }
    // The first site's library, whose rows these are: its host is what saving turns back into
    // the placeholder for a row without a template.
    library::UrlLibrary library(once, hosts.empty() ? text::Text() : hosts.front());
    return library.saveTo(path, which, whenEmpty);
}

} // namespace tavrin::cli
