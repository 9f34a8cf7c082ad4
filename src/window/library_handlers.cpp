#include "window/library_handlers.h"

#include "library/library_messages.h"
#include "library/mark.h"
#include "text/messages.h"

namespace tavrin::window {

using text::Text;

LibraryHandlers::LibraryHandlers(LibraryControls controls, library::UrlLibrary& library)
    : controls_(controls)
    , library_(library)
{}

Text LibraryHandlers::onSiteAddressEdited()
{
    return library_.setSiteAddress(controls_.siteAddress.text());
}

void LibraryHandlers::loadFile(const std::filesystem::path& path, LoadKind kind)
{
    onSiteAddressEdited();
    library_.loadInBackground(path, [this, kind](const library::LoadResult& result) {
        using Outcome = library::LoadResult::Outcome;
        const bool nothingAtStart =
            kind == LoadKind::Startup &&
            (result.outcome == Outcome::Unreadable ||
             (result.outcome == Outcome::Loaded && result.added == 0 && result.skipped.total() == 0));
        if (!nothingAtStart)
            controls_.statusLine.setText(library::loadMessage(result));
    });
}

void LibraryHandlers::onImportClick()
{
    const std::filesystem::path path = controls_.dialogs.openFileName(msg::kImportFileFilter);
    if (path.empty())
        return;
    loadFile(path);
}

void LibraryHandlers::onAddClick()
{
    onSiteAddressEdited();
    const int total = library_.add(controls_.addBox.text());
    controls_.statusLine.setText(library::insertedMessage(total));
}

void LibraryHandlers::onSaveClick()
{
    const std::filesystem::path path = controls_.dialogs.saveFileName(msg::kTextFileFilter);
    if (path.empty())
        return;
    onSiteAddressEdited();
    const library::RowsToSave rows =
        controls_.onlySuccess.isChecked() ? library::RowsToSave::Succeeded : library::RowsToSave::Every;
    library::SaveResult result = library_.saveTo(path, rows, library::EmptySave::Decline);
    if (result.declinedEmpty) {
        // An empty file put over a library (the shipped url.txt, say) would lose every template
        // in it: only on the user's word.
        if (controls_.dialogs.messageBox(msg::kAskSaveEmpty, msg::kQuestionTitle,
                                         platform::box::kAskYesNoDefaultNo) != platform::BoxAnswer::Yes)
            return;
        result = library_.saveTo(path, rows, library::EmptySave::Write);
    }
    controls_.statusLine.setText(result.saved() ? library::savedMessage(result.rows, path)
                                                : library::saveFailedMessage(path, *result.failure));
}

Text LibraryHandlers::selectedUrl() const
{
    return library_.urlAt(controls_.list.selection());
}

void LibraryHandlers::onListDoubleClick()
{
    const Text url = selectedUrl();
    if (!url.empty())
        controls_.shell.openUrl(url);
}

bool LibraryHandlers::onListRightClick() const
{
    return !selectedUrl().empty();
}

void LibraryHandlers::onMenuEditUrl()
{
    onSiteAddressEdited();
    const int row = controls_.list.selection();
    const Text url = library_.urlAt(row);
    if (url.empty())
        return;
    const std::optional<Text> edited =
        controls_.dialogs.askText(msg::kEditUrlTitle, msg::kEditUrlPrompt, url);
    if (edited)
        library_.editUrl(row, url, *edited);
}

void LibraryHandlers::onMenuOpenUrl()
{
    controls_.shell.openUrl(selectedUrl());
}

void LibraryHandlers::onMenuDeleteUrl()
{
    if (library_.deleteRow(controls_.list.selection()))
        controls_.statusLine.setText(library::deletedMessage(library_.total()));
}

void LibraryHandlers::onMenuDeleteAll()
{
    library_.deleteAll();
    if (onCleared_)
        onCleared_();
    controls_.statusLine.setText(library::clearedMessage(library_.total()));
}

} // namespace tavrin::window
