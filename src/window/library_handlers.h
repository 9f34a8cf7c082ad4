// The main window's handlers for the library: the import, add and save buttons, the address box,
// double-clicks and the list's pop-up menu. They ask the desktop (file dialogs, the shell, the
// edit box) and tell the user in the status line; the work itself is the UrlLibrary's.
//
// No widgets here: the handlers see the window through the platform interfaces, so tests run
// them headless. Handlers run on the user-interface thread; a background load reports its
// status text from its loader thread (the controls hand that to the user-interface thread).
#pragma once

#include "base/list_store.h"
#include "library/url_library.h"
#include "platform/controls.h"
#include "platform/desktop.h"

#include <filesystem>
#include <functional>

namespace tavrin::window {

// The controls of the main window that the library's handlers read and write.
struct LibraryControls
{
    base::ListStore& list;
    platform::TextControl& siteAddress;  // 编辑框1
    platform::TextControl& addBox;       // 编辑框2
    platform::TextControl& statusLine;   // 透明标签2
    platform::CheckControl& onlySuccess; // 选择框1
    platform::Dialogs& dialogs;
    platform::Shell& shell;
};

class LibraryHandlers
{
public:
    LibraryHandlers(LibraryControls controls, library::UrlLibrary& library);

    enum class LoadKind
    {
        // url.txt at start: a missing or empty file leaves the status line alone.
        Startup,
        // A file the user picked: the status line always reports the count, 0 included.
        Import,
    };

    // Loads a template file on a loader thread, then says what it did in the status line.
    void loadFile(const std::filesystem::path& path, LoadKind kind = LoadKind::Import);
    void waitUntilLoaded() { library_.waitUntilLoaded(); }

    // The address box's editing ended (Enter, or the focus left it): the rows follow the new
    // site address. Also what a pass, a single submit, a save and an edit do first, so that
    // they never act on an address the user has typed over. Gives the host in use.
    text::Text onSiteAddressEdited();

    void onImportClick();
    void onAddClick();
    // Asks for the file; asks once more before writing a file without a row; then says where
    // the save went and how many rows it wrote, or why it failed.
    void onSaveClick();
    void onListDoubleClick();
    // True when the pop-up menu may open: the selected row has a non-empty URL.
    [[nodiscard]] bool onListRightClick() const;
    void onMenuEditUrl();
    void onMenuOpenUrl();
    // Deletes the selected row and says how many rows are left.
    void onMenuDeleteUrl();
    void onMenuDeleteAll();

    // Called by 全部删除 after the rows are gone (the submission forgets the rows it started).
    void setOnCleared(std::function<void()> cleared) { onCleared_ = std::move(cleared); }

private:
    [[nodiscard]] text::Text selectedUrl() const;

    LibraryControls controls_;
    library::UrlLibrary& library_;
    std::function<void()> onCleared_;
};

} // namespace tavrin::window
