// The URL library: the rows of the list and every operation on them (load, add, save, edit,
// delete), with typed results. The list store is the only store; this class holds no rows.
//
// Every row keeps the template it came from beside its URL, and the URL is always that template
// expanded with the site host in use; setSiteAddress() expands every row again when the host
// changes. What the operations mean for the user (dialogs, status texts) is the front end's
// business: the window's handlers and the command line build their texts from these results.
//
// Threads: every method may be called from any thread. Loads started in the background run on
// loader threads of their own; a save waits for them.
#pragma once

#include "base/list_store.h"
#include "base/thread_group.h"
#include "library/mark.h"
#include "library/template_import.h"
#include "text/gbk_text.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

namespace tavrin::library {

// What a load of a template file did.
struct LoadResult
{
    enum class Outcome
    {
        // Every entry was appended (none for an empty file).
        Loaded,
        // Missing, a folder or not readable: nothing appended (the window counts it as an empty
        // file).
        Unreadable,
        // Refused whole, nothing appended: larger than the size limit ...
        TooLarge,
        // ... text after a NUL byte (a picture, a program, UTF-16) ...
        NotText,
        // ... more entries than a list may take ...
        TooManyEntries,
        // ... or a JSON list that does not parse (syntaxError says where).
        Malformed,
        // The load was stopped part way (the library is going away).
        Stopped,
    };
    Outcome outcome = Outcome::Loaded;
    std::filesystem::path path;
    // Entries appended.
    std::size_t added = 0;
    // Entries that are no usable template (a placeholder no host can stand for, characters GBK
    // cannot hold): not appended. A file of nothing else loads, with nothing added.
    SkippedTemplates skipped;
    // Where a Malformed file stops being JSON.
    std::optional<JsonSyntaxError> syntaxError;
    // The rows in the list after the load (see total()).
    int total = 0;
};

// What a save did.
struct SaveResult
{
    // Why it failed (the old file is then unchanged); nothing when it did not fail.
    std::optional<std::string> failure;
    // Rows written (for a failed save, the rows that were to be written).
    int rows = 0;
    // Asked to leave an empty save alone, it found no row to write and wrote nothing.
    bool declinedEmpty = false;
    [[nodiscard]] bool saved() const { return !failure && !declinedEmpty; }
};

// Which rows saveTo writes.
enum class RowsToSave
{
    Every,
    // Only the rows marked √: the window's 只保存成功, a library of what is known to work.
    Succeeded,
    // Every row but those marked ×: what was found not to work goes, and what was not checked
    // (pending, being checked, not reached by a stopped pass) stays, so that saving a pass that
    // was cut short over the template file never loses the templates it did not get to.
    AllButFailed,
};

// What saveTo does when no row is to be written.
enum class EmptySave
{
    Write,   // an empty file, in place of whatever the file held
    Decline, // nothing: the caller asks the user first
};

class UrlLibrary
{
public:
    // `siteAddress` is the address the first rows are expanded with (only its host counts).
    UrlLibrary(base::ListStore& list, std::string_view siteAddress);
    UrlLibrary(const UrlLibrary&) = delete;
    UrlLibrary& operator=(const UrlLibrary&) = delete;

    // Takes a new site address. When its host differs from the one in use, every row is
    // expanded again from its template, and rows whose URL changed get the pending mark (their
    // old verdict was about another URL). Gives the host in use now.
    text::Text setSiteAddress(std::string_view siteAddress);
    [[nodiscard]] text::Text siteHost() const;

    // Reads a template file in any form template_import.h reads and appends its templates, on
    // the calling thread. A file that is too large, not text, has too many entries or is broken
    // JSON is refused whole.
    [[nodiscard]] LoadResult load(const std::filesystem::path& path, const std::stop_token& stop = {},
                                  const ImportOptions& options = {});
    // The same on a loader thread of its own; `done` is called there with the result (not for a
    // load stopped because the library is going away).
    void loadInBackground(std::filesystem::path path, std::function<void(const LoadResult&)> done);
    [[nodiscard]] bool isLoading() const { return loaders_.running() > 0; }
    // Blocks until every load started in the background so far has finished.
    void waitUntilLoaded();

    // Appends one template; gives the total after it.
    int add(std::string_view line);

    // Writes the template of every row that `rows` selects to `path`, the site host turned back
    // into "{$url}", each line ended by CR LF. The file is replaced atomically;
    // a failure leaves the old one as it was. Waits for loads still running first, so that the
    // file holds every row of them. With no row to write, `whenEmpty` says whether an empty file
    // is written; the rows are read once, so the answer is about what would have been written.
    [[nodiscard]] SaveResult saveTo(const std::filesystem::path& path, RowsToSave rows,
                                    EmptySave whenEmpty = EmptySave::Write);

    // The URL of a row; empty for a row that does not exist.
    [[nodiscard]] text::Text urlAt(int row) const;
    // Makes `edited` the template of `row` (the site host in it standing for "{$url}") and
    // expands it. Nothing happens when the row no longer shows `shownUrl` (it changed while the
    // user typed) or the edit is the URL as it was. True when the row changed.
    bool editUrl(int row, const text::Text& shownUrl, std::string_view edited);
    // Deleting a single row leaves the numbering as it is: the next row added gets the number
    // after the last one handed out.
    bool deleteRow(int row);
    // Deletes every row and starts numbering from zero again.
    void deleteAll();

    // The rows in the list: what every total shown to the user counts.
    [[nodiscard]] int total() const { return list_.rowCount(); }

private:
    // Appends one template as a new row and counts it; any thread. Every cell write of a row
    // goes to the index its own insertion returned.
    void appendTemplate(std::string_view line);

    base::ListStore& list_;
    // The last number handed out; the next row gets this + 1.
    std::atomic<int> rowCounter_{0};
    // The host every row is expanded with. A row is appended, and the rows are expanded again,
    // under this lock, so no loader can add a row expanded with a host that has just been
    // replaced.
    mutable std::mutex hostMutex_;
    text::Text host_; // guarded by hostMutex_
    // Declared last: destroyed first, so loaders stop before the members they use go away.
    base::ThreadGroup loaders_;
};

} // namespace tavrin::library
