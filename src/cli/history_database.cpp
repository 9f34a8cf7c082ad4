#include "cli/history_database.h"

#include "base/utf8_path.h"
#include "cli/history_texts.h"
#include "library/site_address.h"
#include "library/site_host.h"
#include "text/encoding.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace tavrin::cli {

CLI::Option* addDatabaseOption(CLI::App& command, std::string& path)
{
    return command.add_option("--db", path, std::string(texts::kDbHelp));
}

std::filesystem::path databasePath(const std::string& option)
{
    return option.empty() ? history::defaultDatabasePath() : base::pathFromUtf8(option);
}

history::HealthFilter healthFilter(const std::string& site, int lastRuns)
{
    history::HealthFilter filter;
    // A site named as submit takes it gives the host its runs were recorded under (a Chinese
    // name in its ASCII form); anything else is read as leniently as the address box reads it.
    if (!site.empty()) {
        library::SiteAddressCheck checked = library::checkSiteAddress(site);
        filter.siteHost =
            checked.address ? std::move(checked.address->host) : library::siteHost(text::utf8ToGbk(site));
    }
    if (lastRuns > 0)
        filter.lastRuns = lastRuns;
    return filter;
}

std::unique_ptr<history::HistoryStore> openHistoryToRead(const std::string& option, std::ostream& err)
{
    std::string problem;
    std::unique_ptr<history::HistoryStore> store =
        history::HistoryStore::open(databasePath(option), history::OpenMode::Read, problem);
    if (!store)
        err << texts::kCannotReadHistory << problem << '\n';
    return store;
}

} // namespace tavrin::cli
