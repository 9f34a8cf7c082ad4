#include "library/url_library.h"

#include "base/file_io.h"
#include "library/site_host.h"
#include "library/template_file.h"
#include "text/encoding.h"
#include "text/messages.h"

#include <algorithm>

namespace tavrin::library {

using text::Text;

namespace {

Text displayName(const std::filesystem::path& path)
{
    return text::utf8ToGbk(path.string());
}

// The URL of a template (already cleared of "格式如：") for a host.
Text fillTemplate(std::string_view templateText, std::string_view host)
{
    return text::replaceAll(templateText, msg::kPlaceholder, host);
}

} // namespace

UrlLibrary::UrlLibrary(LibraryControls controls, ProgramState& state)
    : controls_(controls)
    , state_(state)
    , host_(siteHost(controls.siteAddress.text()))
{}

Text UrlLibrary::syncSiteHost()
{
    const Text host = siteHost(controls_.siteAddress.text());
    const std::lock_guard lock(hostMutex_);
    if (host == host_)
        return host;
    host_ = host;
    controls_.list.updateRows([&host](base::ListStore::Row& row) {
        if (!row.source)
            return false;
        Text url = fillTemplate(*row.source, host);
        if (url == row.cells[kUrlColumn])
            return false;
        row.cells[kUrlColumn] = std::move(url);
        row.cells[kMarkColumn] = msg::kMarkPending;
        row.note.clear();
        return true;
    });
    return host;
}

Text UrlLibrary::siteHostInUse() const
{
    const std::lock_guard lock(hostMutex_);
    return host_;
}

void UrlLibrary::loadFile(const std::filesystem::path& path, LoadKind kind)
{
    syncSiteHost();
    loaders_.start([this, path, kind](const std::stop_token& stop) { runLoader(stop, path, kind); });
}

void UrlLibrary::waitUntilLoaded()
{
    loaders_.waitAll();
}

void UrlLibrary::runLoader(const std::stop_token& stop, const std::filesystem::path& path, LoadKind kind)
{
    // The loader owns its bytes: a second import running at the same time has its own, so
    // neither can see or free the other's.
    const base::ReadResult file = base::readWholeFile(path);
    if (file.status == base::ReadResult::Status::TooLarge) {
        controls_.statusLine.setText(msg::kImportTooLarge + displayName(path));
        return;
    }
    // A refused file adds no row at all: a part of it in the list, saved back over the file,
    // would lose the rest.
    switch (checkTemplateText(file.bytes)) {
    case TemplateTextCheck::Ok:
        break;
    case TemplateTextCheck::NotText:
        controls_.statusLine.setText(msg::kImportNotText + displayName(path));
        return;
    case TemplateTextCheck::TooManyEntries:
        controls_.statusLine.setText(msg::kImportTooManyEntries + displayName(path));
        return;
    }
    // The entries go into the list one by one, straight from the bytes: a vector of them all
    // would cost more than the rows themselves.
    std::size_t added = 0;
    TemplateLineReader reader(file.bytes);
    while (const std::optional<std::string_view> line = reader.next()) {
        if (stop.stop_requested())
            return;
        appendTemplate(*line);
        ++added;
    }
    if (added == 0 && kind == LoadKind::Startup)
        return;
    reportImport(added);
}

void UrlLibrary::appendTemplate(std::string_view line)
{
    Text templateText = templateOf(line);
    const int number = state_.rowCounter.fetch_add(1) + 1;
    {
        const std::lock_guard lock(hostMutex_);
        Text url = fillTemplate(templateText, host_);
        controls_.list.appendRow({text::decimal(number), std::move(url), msg::kMarkPending},
                                 std::move(templateText));
    }
    state_.urlTotal.fetch_add(1);
}

void UrlLibrary::reportImport(std::size_t added)
{
    controls_.statusLine.setText(msg::kImported + text::decimal(static_cast<long long>(added)) +
                                 msg::kUrlsTotal + text::decimal(state_.urlTotal.load()) + msg::kUrls);
}

void UrlLibrary::onImportClick()
{
    const std::filesystem::path path = controls_.dialogs.openFileName(msg::kTextFileFilter);
    if (path.empty())
        return;
    loadFile(path);
}

void UrlLibrary::onAddClick()
{
    syncSiteHost();
    appendTemplate(controls_.addBox.text());
    controls_.statusLine.setText(msg::kInsertedOne + text::decimal(state_.urlTotal.load()) + msg::kUrls);
}

void UrlLibrary::onSaveClick()
{
    const std::filesystem::path path = controls_.dialogs.saveFileName(msg::kTextFileFilter);
    if (path.empty())
        return;
    // Rows of a file still loading are part of the library the user sees arriving; saving
    // without them (onto that very file, perhaps) would drop the rest of it.
    waitUntilLoaded();
    const Text host = syncSiteHost();
    const std::vector<base::ListStore::Row> rows = controls_.list.rows();
    Text out;
    out.reserve(rows.size() * 64);
    for (const base::ListStore::Row& row : rows) {
        if (controls_.onlySuccess.isChecked() && row.cells[kMarkColumn] != msg::kMarkSuccess)
            continue;
        // The row's own template, so that a host typed into the address box after loading can
        // never be written into the library in place of "{$url}". Collapsing the host as well
        // still turns a host typed literally into a row (added or edited) back into "{$url}".
        out += collapseHost(row.source ? *row.source : row.cells[kUrlColumn], host);
        out += "\r\n";
    }
    const std::string failure = base::writeFileAtomically(path, out);
    if (!failure.empty()) {
        controls_.statusLine.setText(msg::kSaveFailed + displayName(path) + text::utf8ToGbk("（") +
                                     text::utf8ToGbk(failure) + text::utf8ToGbk("）"));
    }
}

Text UrlLibrary::selectedUrl() const
{
    return controls_.list.cell(controls_.list.selection(), kUrlColumn);
}

void UrlLibrary::onListDoubleClick()
{
    const Text url = selectedUrl();
    if (!url.empty())
        controls_.shell.openUrl(url);
}

bool UrlLibrary::onListRightClick() const
{
    return !selectedUrl().empty();
}

void UrlLibrary::onMenuEditUrl()
{
    syncSiteHost();
    const int row = controls_.list.selection();
    const Text url = controls_.list.cell(row, kUrlColumn);
    if (url.empty())
        return;
    const std::optional<Text> edited =
        controls_.dialogs.askText(msg::kEditUrlTitle, msg::kEditUrlPrompt, url);
    if (!edited || *edited == url)
        return;
    // The edited address becomes the row's template, the site host in it standing for
    // "{$url}", so the row follows later changes of the address like every loaded row.
    const std::lock_guard lock(hostMutex_);
    Text templateText = collapseHost(templateOf(*edited), host_);
    Text newUrl = fillTemplate(templateText, host_);
    controls_.list.updateRow(row, [&](base::ListStore::Row& target) {
        if (target.cells[kUrlColumn] != url)
            return false; // the row changed while the box was open; leave it
        if (newUrl != target.cells[kUrlColumn]) {
            target.cells[kMarkColumn] = msg::kMarkPending;
            target.note.clear();
        }
        target.cells[kUrlColumn] = std::move(newUrl);
        target.source = std::move(templateText);
        return true;
    });
}

void UrlLibrary::onMenuOpenUrl()
{
    controls_.shell.openUrl(selectedUrl());
}

void UrlLibrary::onMenuDeleteUrl()
{
    controls_.list.deleteRow(controls_.list.selection());
}

void UrlLibrary::onMenuDeleteAll()
{
    controls_.list.deleteAll();
    state_.urlTotal = 0;
    state_.startedCount = 0;
    state_.rowCounter = 0;
    controls_.statusLine.setText(msg::kCleared + text::decimal(state_.urlTotal.load()) + msg::kUrls);
}

} // namespace tavrin::library
