#include "base/list_store.h"

#include <algorithm>
#include <utility>

namespace tavrin::base {

int ListStore::appendRow(Cells cells, std::optional<Text> source)
{
    bool tell = false;
    int index = 0;
    {
        std::lock_guard lock(mutex_);
        index = static_cast<int>(rows_.size());
        rows_.push_back(Row{std::move(cells), std::move(source), {}, 0});
        tell = markPending();
        pending_.rowCount = static_cast<int>(rows_.size());
    }
    notify(tell);
    return index;
}

int ListStore::rowCount() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(rows_.size());
}

Text ListStore::cell(int row, int column) const
{
    std::lock_guard lock(mutex_);
    if (!validRow(row) || column < 0 || column >= kColumnCount)
        return {};
    return rows_[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)];
}

bool ListStore::setCell(int row, int column, Text value)
{
    bool tell = false;
    {
        std::lock_guard lock(mutex_);
        if (!validRow(row) || column < 0 || column >= kColumnCount)
            return false;
        rows_[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)] = std::move(value);
        tell = markPending();
        markDirty(row);
    }
    notify(tell);
    return true;
}

bool ListStore::setCellAndNote(int row, int column, Text value, Text note)
{
    return writeCellAndNote(row, column, std::move(value), std::move(note), -1, nullptr);
}

bool ListStore::setCellAndNoteIf(int row, int guardColumn, const Text& guard, int column, Text value,
                                 Text note)
{
    if (guardColumn < 0 || guardColumn >= kColumnCount)
        return false;
    return writeCellAndNote(row, column, std::move(value), std::move(note), guardColumn, &guard);
}

bool ListStore::writeCellAndNote(int row, int column, Text value, Text note, int guardColumn,
                                 const Text* guard)
{
    bool tell = false;
    {
        std::lock_guard lock(mutex_);
        if (!validRow(row) || column < 0 || column >= kColumnCount)
            return false;
        Row& target = rows_[static_cast<std::size_t>(row)];
        if (guard && target.cells[static_cast<std::size_t>(guardColumn)] != *guard)
            return false;
        target.cells[static_cast<std::size_t>(column)] = std::move(value);
        target.note = std::move(note);
        tell = markPending();
        markDirty(row);
    }
    notify(tell);
    return true;
}

Text ListStore::note(int row) const
{
    std::lock_guard lock(mutex_);
    return validRow(row) ? rows_[static_cast<std::size_t>(row)].note : Text();
}

std::optional<Text> ListStore::source(int row) const
{
    std::lock_guard lock(mutex_);
    return validRow(row) ? rows_[static_cast<std::size_t>(row)].source : std::nullopt;
}

bool ListStore::updateRow(int row, const std::function<bool(Row&)>& update)
{
    bool tell = false;
    {
        std::lock_guard lock(mutex_);
        if (!validRow(row) || !update(rows_[static_cast<std::size_t>(row)]))
            return false;
        tell = markPending();
        markDirty(row);
    }
    notify(tell);
    return true;
}

int ListStore::updateRows(const std::function<bool(Row&)>& update)
{
    bool tell = false;
    int changed = 0;
    {
        std::lock_guard lock(mutex_);
        for (std::size_t row = 0; row < rows_.size(); ++row) {
            if (!update(rows_[row]))
                continue;
            ++changed;
            tell = markPending() || tell;
            markDirty(static_cast<int>(row));
        }
    }
    notify(tell);
    return changed;
}

bool ListStore::deleteRow(int row)
{
    bool tell = false;
    {
        std::lock_guard lock(mutex_);
        if (!validRow(row))
            return false;
        rows_.erase(rows_.begin() + row);
        if (selection_ == row)
            selection_ = -1;
        else if (selection_ > row)
            --selection_;
        tell = markReset();
    }
    notify(tell);
    return true;
}

void ListStore::deleteAll()
{
    bool tell = false;
    {
        std::lock_guard lock(mutex_);
        rows_.clear();
        rows_.shrink_to_fit();
        selection_ = -1;
        tell = markReset();
    }
    notify(tell);
}

bool ListStore::permuteRows(const std::vector<int>& order)
{
    bool tell = false;
    {
        std::lock_guard lock(mutex_);
        if (order.size() > rows_.size())
            return false;
        std::vector<Row> moved;
        moved.reserve(order.size());
        std::vector<bool> taken(order.size(), false);
        for (const int from : order) {
            if (from < 0 || static_cast<std::size_t>(from) >= order.size() ||
                taken[static_cast<std::size_t>(from)])
                return false;
            taken[static_cast<std::size_t>(from)] = true;
        }
        for (const int from : order)
            moved.push_back(std::move(rows_[static_cast<std::size_t>(from)]));
        std::move(moved.begin(), moved.end(), rows_.begin());
        tell = markReset();
    }
    notify(tell);
    return true;
}

std::vector<ListStore::Row> ListStore::rows() const
{
    std::lock_guard lock(mutex_);
    return rows_;
}

std::vector<Text> ListStore::column(int column) const
{
    std::vector<Text> values;
    if (column < 0 || column >= kColumnCount)
        return values;
    std::lock_guard lock(mutex_);
    values.reserve(rows_.size());
    for (const Row& row : rows_)
        values.push_back(row.cells[static_cast<std::size_t>(column)]);
    return values;
}

int ListStore::selection() const
{
    std::lock_guard lock(mutex_);
    return selection_;
}

void ListStore::setSelection(int row)
{
    bool tell = false;
    {
        std::lock_guard lock(mutex_);
        const int wanted = validRow(row) ? row : -1;
        if (wanted == selection_)
            return;
        selection_ = wanted;
        tell = markPending();
        pending_.selectionChanged = true;
        pending_.selection = selection_;
    }
    notify(tell);
}

std::intptr_t ListStore::itemData(int row) const
{
    std::lock_guard lock(mutex_);
    return validRow(row) ? rows_[static_cast<std::size_t>(row)].itemData : 0;
}

void ListStore::setItemData(int row, std::intptr_t value)
{
    std::lock_guard lock(mutex_);
    if (validRow(row))
        rows_[static_cast<std::size_t>(row)].itemData = value;
}

void ListStore::scrollTo(int row)
{
    bool tell = false;
    {
        std::lock_guard lock(mutex_);
        if (!validRow(row))
            return;
        tell = markPending();
        pending_.scrollTo = row;
    }
    notify(tell);
}

void ListStore::setObserver(std::function<void()> observer)
{
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

ListStore::Changes ListStore::takeChanges()
{
    std::lock_guard lock(mutex_);
    Changes taken = pending_;
    taken.rowCount = static_cast<int>(rows_.size());
    taken.selection = selection_;
    pending_ = Changes{};
    pending_.rowCount = taken.rowCount;
    pending_.selection = selection_;
    hasPending_ = false;
    return taken;
}

bool ListStore::markPending()
{
    const bool first = !hasPending_;
    hasPending_ = true;
    return first;
}

bool ListStore::markReset()
{
    const bool first = markPending();
    pending_.reset = true;
    pending_.rowCount = static_cast<int>(rows_.size());
    pending_.selection = selection_;
    return first;
}

void ListStore::markDirty(int row)
{
    if (pending_.firstDirty > pending_.lastDirty) {
        pending_.firstDirty = row;
        pending_.lastDirty = row;
        return;
    }
    pending_.firstDirty = std::min(pending_.firstDirty, row);
    pending_.lastDirty = std::max(pending_.lastDirty, row);
}

void ListStore::notify(bool needed) const
{
    if (!needed)
        return;
    std::function<void()> observer;
    {
        std::lock_guard lock(mutex_);
        observer = observer_;
    }
    if (observer)
        observer();
}

} // namespace tavrin::base
