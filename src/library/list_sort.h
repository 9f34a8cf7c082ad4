// Sorting the rows of the list by one column, the way a click on a column header does it.
//
// Rows are placed one after another by binary insertion into the keys placed so far, with its
// own rules for equal keys: a key equal to the last one goes after it, a key equal to the first
// (but below the last) goes before it, and a key equal to one met halfway goes right after that
// one. The resulting order, ties included, is exactly that of the plain algorithm; it is
// computed with an order-statistic tree so that large lists do not cost quadratic time.
#pragma once

#include "base/list_store.h"
#include "text/gbk_text.h"

#include <functional>
#include <vector>

namespace tavrin::library {

enum class SortKeyType
{
    Number = 0,
    Text = 1,
    DateTime = 2,
    // Only whether the text is "假" counts.
    Flag = 3,
};

// Any value outside the four types is taken as Text.
[[nodiscard]] SortKeyType sortKeyTypeFrom(int value) noexcept;

// Whether letters compare by their case.
enum class LetterCase
{
    Sensitive,
    Ignored,
};

enum class SortOrder
{
    Ascending,
    Descending,
};

// Compares two GBK texts character by character, a double-byte character counting as one
// character whose value is lead byte x 256 + trail byte; a prefix sorts first. Without case
// the code page) are compared as their upper-case forms when case is ignored.
[[nodiscard]] int compareGbk(std::string_view a, std::string_view b, LetterCase letterCase);

// The key text of a cell: leading and trailing ASCII spaces and full-width spaces removed.
[[nodiscard]] std::string_view trimSortKey(std::string_view cell) noexcept;

// A date and time as a day count (days since 1899-12-30, the time of day as the fraction).
// Accepts "YYYY-MM-DD", "YYYY/MM/DD", "YYYY.MM.DD" and "YYYY年MM月DD日", each optionally followed
// by " HH:MM" or " HH:MM:SS"; anything else is the earliest date, 0100-01-01.
[[nodiscard]] double dateTimeFromText(std::string_view text);

// The 1-based position at which `key` goes among the `count` keys placed so far (ascending),
// reached through `keyAt(position)` (1-based).
[[nodiscard]] int findInsertPos(const std::function<std::string_view(int)>& keyAt, int count,
                                std::string_view key, SortKeyType type, LetterCase letterCase);

// The rows' order after an ascending sort of `keys` (one key text per row, already trimmed):
// element r is the index of the row that ends up at position r.
[[nodiscard]] std::vector<int> sortedOrder(const std::vector<std::string_view>& keys, SortKeyType type,
                                           LetterCase letterCase);

// Sorts the list by `column` and keeps the selected row selected and in view. Rows appended by
// other threads while the sort runs stay after the sorted ones. Returns the milliseconds taken.
int sortListView(base::ListStore& list, int column, SortKeyType type,
                 LetterCase letterCase = LetterCase::Sensitive, SortOrder order = SortOrder::Ascending);

} // namespace tavrin::library
