// One run for several sites (--site A --site B, --sites FILE): the templates once per site in
// one list, so that every site's rows share the workers (and the per-host cap) of one pass; each
// site is a run of its own in the history, and the run ends with a line per site.
#pragma once

#include "base/list_store.h"
#include "history/history_recorder.h"
#include "library/site_address.h"
#include "library/url_library.h"
#include "submit/submission_engine.h"

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavrin::cli {

// The addresses of a --sites file: one a line, blank lines and lines starting with "#" left
// out, each read as --site reads its value (site_option.h). Nothing, with the reason on `err`,
// for a file that cannot be read, holds no address, or has lines that are no site address
// (the first few named with their numbers, the rest counted, and why the first is refused).
[[nodiscard]] std::optional<std::vector<library::SiteAddress>> readSiteList(const std::string& file,
                                                                            std::ostream& err);

// The list holds the templates once, expanded for the first site: afterwards it holds them once
// per site, site by site, each row expanded for its site. Site i's rows are [i * T, (i + 1) * T).
void spreadOverSites(base::ListStore& list, const std::vector<text::Text>& hosts);

// The engine's reports, handed to one history listener per site: every site a run of its own.
class SiteRuns final : public submit::PassListener
{
public:
    SiteRuns(history::HistoryRecorder& recorder, std::vector<text::Text> hosts, int rowsPerSite);

    void passStarted(const submit::PassInfo& info) override;
    void rowStarted(const submit::SubmitRow& row, int started, int rows) override;
    void rowChecked(const submit::SubmitRow& row, const submit::RowResult& result) override;
    void passCompleted() override;
    void passStopped() override;

private:
    [[nodiscard]] submit::PassListener* listenerOf(const submit::SubmitRow& row) const;

    std::vector<text::Text> hosts_;
    int rowsPerSite_;
    std::vector<std::unique_ptr<submit::PassListener>> listeners_;
};

// "site HOST: √ S, × F" for every site, from the marks its rows hold.
void printSiteSummary(std::ostream& out, const base::ListStore& list, const std::vector<text::Text>& hosts);

// Writes each template once, as the first site's library would, choosing the rows by one mark per
// template: √ when it got √ for any site, × when it got × for every site, else pending.
[[nodiscard]] library::SaveResult saveForSites(const base::ListStore& list,
                                               const std::vector<text::Text>& hosts,
                                               const std::filesystem::path& path, library::RowsToSave which,
                                               library::EmptySave whenEmpty);

} // namespace tavrin::cli
