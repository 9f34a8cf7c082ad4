#include "library/url_library.h"

#include "library/file_io.h"
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

} // namespace

UrlLibrary::UrlLibrary(LibraryControls controls, ProgramState& state)
    : controls_(controls)
    , state_(state)
{}

void UrlLibrary::loadFile(const std::filesystem::path& path, LoadKind kind)
{
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
    const ReadResult file = readWholeFile(path);
    if (file.status == ReadResult::Status::TooLarge) {
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
    const int number = state_.rowCounter.fetch_add(1) + 1;
    const Text host = siteHost(controls_.siteAddress.text());
    controls_.list.appendRow({text::decimal(number), expandTemplate(line, host), msg::kMarkPending});
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
    const Text host = siteHost(controls_.siteAddress.text());
    const std::vector<platform::ListStore::Row> rows = controls_.list.rows();
    Text out;
    out.reserve(rows.size() * 64);
    for (const platform::ListStore::Row& row : rows) {
        if (controls_.onlySuccess.isChecked() && row.cells[kMarkColumn] != msg::kMarkSuccess)
            continue;
        out += collapseHost(row.cells[kUrlColumn], host);
        out += "\r\n";
    }
    const std::string failure = writeFileAtomically(path, out);
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
    const int row = controls_.list.selection();
    const Text url = controls_.list.cell(row, kUrlColumn);
    if (url.empty())
        return;
    const std::optional<Text> edited =
        controls_.dialogs.askText(msg::kEditUrlTitle, msg::kEditUrlPrompt, url);
    if (edited && *edited != url)
        controls_.list.setCell(row, kUrlColumn, *edited);
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
