// The URL library: the templates of the list view and every operation on them (load, import,
// add, save, open, edit, delete). The list view is the only store; this class holds no rows.
#pragma once

#include "base/list_store.h"
#include "base/thread_group.h"
#include "platform/controls.h"
#include "platform/desktop.h"
#include "state/program_state.h"

#include <filesystem>
#include <mutex>
#include <stop_token>

namespace tavrin::library {

// Columns of the list view.
inline constexpr int kNumberColumn = 0;
inline constexpr int kUrlColumn = 1;
inline constexpr int kMarkColumn = 2;

// The controls of the main window that the library reads and writes.
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

class UrlLibrary
{
public:
    UrlLibrary(LibraryControls controls, ProgramState& state);
    UrlLibrary(const UrlLibrary&) = delete;
    UrlLibrary& operator=(const UrlLibrary&) = delete;

    enum class LoadKind
    {
        // url.txt at start: a missing or empty file leaves the status line alone.
        Startup,
        // A file the user picked: the status line always reports the count, 0 included.
        Import,
    };

    // Reads a template file and appends its entries on a loader thread of its own, which then
    // reports the import in the status line.
    void loadFile(const std::filesystem::path& path, LoadKind kind = LoadKind::Import);

    // Handlers of the window's controls; user-interface thread.
    void onImportClick();
    void onAddClick();
    void onSaveClick();
    void onListDoubleClick();
    // True when the pop-up menu may open: the selected row has a non-empty URL.
    [[nodiscard]] bool onListRightClick() const;
    void onMenuEditUrl();
    void onMenuOpenUrl();
    void onMenuDeleteUrl();
    void onMenuDeleteAll();

    // Brings the rows up to date with the site address: when its host differs from the one the
    // rows were expanded with, every row is expanded again from its template, and rows whose
    // URL changed get the pending mark (their old verdict was about another URL). Called when
    // the address box's editing ends and before anything reads the rows (a pass, a single
    // submit, a save, an edit). Gives the host the rows are now expanded with. Any thread.
    text::Text syncSiteHost();
    // The host the rows are expanded with.
    [[nodiscard]] text::Text siteHostInUse() const;

    [[nodiscard]] bool isLoading() const { return loaders_.running() > 0; }
    // Blocks until every loader started so far has finished.
    void waitUntilLoaded();

private:
    void runLoader(const std::stop_token& stop, const std::filesystem::path& path, LoadKind kind);
    // Appends one template as a new row and counts it; safe from any thread. Every cell write
    // of a row goes to the index its own insertion returned.
    void appendTemplate(std::string_view line);
    [[nodiscard]] text::Text selectedUrl() const;
    void reportImport(std::size_t added);

    LibraryControls controls_;
    ProgramState& state_;
    // The host every row is expanded with. A row is appended, and the rows are expanded again,
    // under this lock, so no loader can add a row expanded with a host that has just been
    // replaced.
    mutable std::mutex hostMutex_;
    text::Text host_; // guarded by hostMutex_
    // Declared last: destroyed first, so loaders stop before the members they use go away.
    base::ThreadGroup loaders_;
};

} // namespace tavrin::library
