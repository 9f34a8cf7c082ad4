#include "library/url_library.h"

#include "base/file_io.h"
#include "library/site_host.h"
#include "library/template_import.h"
#include "text/messages.h"

namespace tavrin::library {

using text::Text;

namespace {

// The URL of a template (already cleared of "格式如：") for a host.
Text fillTemplate(std::string_view templateText, std::string_view host)
{
    return text::replaceAll(templateText, msg::kPlaceholder, host);
}

// Whether a row with `mark` is written by a save of `which` rows. Succeeded names the one mark it
// keeps and AllButFailed the one it drops: any other mark, now or added later, is a row without a
// verdict.
bool selected(RowsToSave which, std::optional<Mark> mark)
{
    switch (which) {
    case RowsToSave::Every:
        return true;
    case RowsToSave::Succeeded:
        return mark == Mark::Success;
    case RowsToSave::AllButFailed:
        return mark != Mark::Failure;
    }
    return true;
}

} // namespace

UrlLibrary::UrlLibrary(base::ListStore& list, std::string_view siteAddress)
    : list_(list)
    , host_(library::siteHost(siteAddress))
{}

Text UrlLibrary::setSiteAddress(std::string_view siteAddress)
{
    Text host = library::siteHost(siteAddress);
    const std::lock_guard lock(hostMutex_);
    if (host == host_)
        return host;
    host_ = host;
    list_.updateRows([&host](base::ListStore::Row& row) {
        if (!row.source)
            return false;
        Text url = fillTemplate(*row.source, host);
        if (url == row.cells[kUrlColumn])
            return false;
        row.cells[kUrlColumn] = std::move(url);
        row.cells[kMarkColumn] = markText(Mark::Pending);
        row.note.clear();
        return true;
    });
    return host;
}

Text UrlLibrary::siteHost() const
{
    const std::lock_guard lock(hostMutex_);
    return host_;
}

LoadResult UrlLibrary::load(const std::filesystem::path& path, const std::stop_token& stop,
                            const ImportOptions& options)
{
    LoadResult result;
    result.path = path;
    // The load owns its bytes: a second load running at the same time has its own, so neither
    // can see or free the other's.
    const base::ReadResult file = base::readWholeFile(path);
    if (file.status != base::ReadResult::Status::Ok) {
        result.outcome = file.status == base::ReadResult::Status::TooLarge ? LoadResult::Outcome::TooLarge
                                                                           : LoadResult::Outcome::Unreadable;
        result.total = total();
        return result;
    }
    // A refused file adds no row at all: a part of it in the list, saved back over the file,
    // would lose the rest.
    const TemplateImport reader(file.bytes, options);
    switch (reader.check()) {
    case TemplateImport::Check::Ok:
        break;
    case TemplateImport::Check::NotText:
        result.outcome = LoadResult::Outcome::NotText;
        result.total = total();
        return result;
    case TemplateImport::Check::TooManyEntries:
        result.outcome = LoadResult::Outcome::TooManyEntries;
        result.total = total();
        return result;
    case TemplateImport::Check::Malformed:
        result.outcome = LoadResult::Outcome::Malformed;
        result.syntaxError = reader.syntaxError();
        result.total = total();
        return result;
    }
    // The entries go into the list one by one, straight from the bytes: a vector of them all
    // would cost more than the rows themselves.
    const bool completed = reader.forEach(
        [&](std::string_view line) {
            if (stop.stop_requested())
                return false;
            appendTemplate(line);
            ++result.added;
            return true;
        },
        result.skipped);
    if (!completed)
        result.outcome = LoadResult::Outcome::Stopped;
    result.total = total();
    return result;
}

void UrlLibrary::loadInBackground(std::filesystem::path path, std::function<void(const LoadResult&)> done)
{
    loaders_.start([this, path = std::move(path), done = std::move(done)](const std::stop_token& stop) {
        const LoadResult result = load(path, stop);
        if (result.outcome != LoadResult::Outcome::Stopped && done)
            done(result);
    });
}

void UrlLibrary::waitUntilLoaded()
{
    loaders_.waitAll();
}

void UrlLibrary::appendTemplate(std::string_view line)
{
    Text templateText = templateOf(line);
    const int number = rowCounter_.fetch_add(1) + 1;
    {
        const std::lock_guard lock(hostMutex_);
        Text url = fillTemplate(templateText, host_);
        list_.appendRow({text::decimal(number), std::move(url), markText(Mark::Pending)},
                        std::move(templateText));
    }
}

int UrlLibrary::add(std::string_view line)
{
    appendTemplate(line);
    return total();
}

SaveResult UrlLibrary::saveTo(const std::filesystem::path& path, RowsToSave which, EmptySave whenEmpty)
{
    // Rows of a file still loading are part of the library the user sees arriving; saving
    // without them (onto that very file, perhaps) would drop the rest of it.
    waitUntilLoaded();
    const Text host = siteHost();
    const std::vector<base::ListStore::Row> rows = list_.rows();
    SaveResult result;
    Text out;
    out.reserve(rows.size() * 64);
    for (const base::ListStore::Row& row : rows) {
        if (!selected(which, markFromText(row.cells[kMarkColumn])))
            continue;
        // The row's own template, so that a host typed into the address box after loading can
        // never be written into the library in place of "{$url}". Collapsing the host as well
        // still turns a host typed literally into a row (added or edited) back into "{$url}".
        out += collapseHost(row.source ? *row.source : row.cells[kUrlColumn], host);
        out += "\r\n";
        ++result.rows;
    }
    if (result.rows == 0 && whenEmpty == EmptySave::Decline) {
        result.declinedEmpty = true;
        return result;
    }
    std::string failure = base::writeFileAtomically(path, out);
    if (!failure.empty())
        result.failure = std::move(failure);
    return result;
}

Text UrlLibrary::urlAt(int row) const
{
    return list_.cell(row, kUrlColumn);
}

bool UrlLibrary::editUrl(int row, const Text& shownUrl, std::string_view edited)
{
    if (edited == shownUrl)
        return false;
    // The edited address becomes the row's template, the site host in it standing for
    // "{$url}", so the row follows later changes of the address like every loaded row.
    const std::lock_guard lock(hostMutex_);
    Text templateText = collapseHost(templateOf(edited), host_);
    Text newUrl = fillTemplate(templateText, host_);
    return list_.updateRow(row, [&](base::ListStore::Row& target) {
        if (target.cells[kUrlColumn] != shownUrl)
            return false; // the row changed while the user typed; leave it
        if (newUrl != target.cells[kUrlColumn]) {
            target.cells[kMarkColumn] = markText(Mark::Pending);
            target.note.clear();
        }
        target.cells[kUrlColumn] = std::move(newUrl);
        target.source = std::move(templateText);
        return true;
    });
}

bool UrlLibrary::deleteRow(int row)
{
    return list_.deleteRow(row);
}

void UrlLibrary::deleteAll()
{
    list_.deleteAll();
    rowCounter_ = 0;
}

} // namespace tavrin::library
