// The rows of the library list view, safe to use from any thread.
//
// The list view is the library's only store: loaders append rows and workers write marks from
// their own threads while the user deletes or opens rows on the user-interface thread. Every
// operation takes one short lock. A view (the Qt model, or nothing at all when headless) learns
// about changes by taking them in batches with takeChanges(); the store calls its observer once
// when the first change after a take arrives, so a burst of thousands of writes costs the view
// a single wake-up.
#pragma once

#include "text/gbk_text.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace tavrin::base {

using text::Text;

class ListStore
{
public:
    static constexpr int kColumnCount = 3;
    using Cells = std::array<Text, kColumnCount>;

    struct Row
    {
        Cells cells;
        // The line a library row was made from; its URL cell is this line with the site host put
        // in. Rows made some other way have none, and their URL is all there is.
        std::optional<Text> source;
        // What the last check of the row found, shown over its mark; empty when nothing is known.
        Text note;
        std::intptr_t itemData = 0;
    };

    // What happened since the previous takeChanges(), for a view to catch up.
    struct Changes
    {
        // Rows were removed or rewritten in place of others: the view must reload everything.
        bool reset = false;
        // Number of rows now; rows from the view's last count to this one were appended.
        int rowCount = 0;
        // Rows whose cells changed (first > last when none), only meaningful without a reset.
        int firstDirty = 0;
        int lastDirty = -1;
        bool selectionChanged = false;
        int selection = -1;
        // A row to scroll into view, or -1.
        int scrollTo = -1;
    };

    ListStore() = default;
    ListStore(const ListStore&) = delete;
    ListStore& operator=(const ListStore&) = delete;

    // Appends a row and gives its zero-based index. The row appears whole: no reader ever sees
    // it with only some of its cells written.
    int appendRow(Cells cells, std::optional<Text> source = std::nullopt);
    [[nodiscard]] int rowCount() const;
    // Empty text for a row or column that does not exist (row -1 included).
    [[nodiscard]] Text cell(int row, int column) const;
    // False (and nothing written) when the row or column does not exist: a write aimed at a row
    // that was deleted meanwhile is dropped.
    bool setCell(int row, int column, Text value);
    // Writes a cell and the row's note in one step.
    bool setCellAndNote(int row, int column, Text value, Text note);
    // As setCellAndNote, but only while cell (row, guardColumn) still reads `guard`: a worker's
    // mark must land on the row whose URL it fetched, not on whatever row has since moved into
    // that position or had its URL changed.
    bool setCellAndNoteIf(int row, int guardColumn, const Text& guard, int column, Text value, Text note);
    [[nodiscard]] Text note(int row) const;
    [[nodiscard]] std::optional<Text> source(int row) const;
    // Runs `update` on one row under the lock; it returns true when it changed the row. True
    // when the row changed (false too when the row does not exist).
    bool updateRow(int row, const std::function<bool(Row&)>& update);
    // Runs `update` on every row under one lock, in order, and gives the number of rows it
    // changed (its result). Meant for short per-row work: the lock is held throughout.
    int updateRows(const std::function<bool(Row&)>& update);
    bool deleteRow(int row);
    void deleteAll();
    // Rearranges the first order.size() rows so that row r becomes the row that was at
    // order[r] (a permutation of 0 .. order.size() - 1); rows after them stay where they are.
    // The selection index is left alone. False, and nothing moved, when `order` does not fit.
    bool permuteRows(const std::vector<int>& order);
    [[nodiscard]] std::vector<Row> rows() const;
    // One column of every row, in order (a pass takes this snapshot of the URLs).
    [[nodiscard]] std::vector<Text> column(int column) const;

    // -1 when nothing is selected. Deleting the selected row clears the selection; deleting a
    // row above it moves it up.
    [[nodiscard]] int selection() const;
    void setSelection(int row);
    [[nodiscard]] std::intptr_t itemData(int row) const;
    void setItemData(int row, std::intptr_t value);
    void scrollTo(int row);

    // Called (outside the lock, on the thread that made the change) when a change arrives and
    // none was pending since the last takeChanges(). Set it before other threads use the store.
    void setObserver(std::function<void()> observer);
    Changes takeChanges();

private:
    [[nodiscard]] bool validRow(int row) const { return row >= 0 && row < static_cast<int>(rows_.size()); }
    // Records a change under the lock; true when the observer must be told after unlocking.
    bool markPending();
    // Records that rows were removed or rearranged, so a view must reload; under the lock.
    bool markReset();
    void markDirty(int row);
    // Writes a cell and the note, when `guard` is null or cell (row, guardColumn) reads it.
    bool writeCellAndNote(int row, int column, Text value, Text note, int guardColumn, const Text* guard);
    void notify(bool needed) const;

    mutable std::mutex mutex_;
    std::vector<Row> rows_;
    int selection_ = -1;
    Changes pending_;
    bool hasPending_ = false;
    std::function<void()> observer_;
};

} // namespace tavrin::base
