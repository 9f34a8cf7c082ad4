// The mark in a row's 成功 column, as a type. The list shows it as text; code decides by the type.
#pragma once

#include "base/list_store.h"
#include "text/gbk_text.h"

#include <optional>
#include <string_view>

namespace tavrin::library {

// Columns of the list.
inline constexpr int kNumberColumn = 0;
inline constexpr int kUrlColumn = 1;
inline constexpr int kMarkColumn = 2;

enum class Mark
{
    Pending, // "？": not checked yet (or since its URL changed)
    Working, // "---》": being checked
    Success, // "√"
    Failure, // "×"
    // "－": the check could not be made, because of the proxies it had to go through, not of
    // the service. Like a row never checked, it says nothing of its template.
    NotChecked,
};

// The text the list shows for a mark (GBK).
[[nodiscard]] const text::Text& markText(Mark mark);
// The mark a cell shows; nothing for a text that is no mark.
[[nodiscard]] std::optional<Mark> markFromText(std::string_view cell);
// The mark of a row; nothing when the row does not exist or shows no mark.
[[nodiscard]] std::optional<Mark> markAt(const base::ListStore& list, int row);

// Writes a row's mark and the note shown over it (what the check found; empty for none). With
// `whileUrlIs`, only while the row still holds that URL: a mark belongs to the URL that was
// checked, not to whatever row has since taken its place. False when nothing was written.
bool setMark(base::ListStore& list, int row, Mark mark, text::Text note = {},
             const text::Text* whileUrlIs = nullptr);

} // namespace tavrin::library
