#include "library/mark.h"

#include "text/messages.h"

namespace tavrin::library {

const text::Text& markText(Mark mark)
{
    switch (mark) {
    case Mark::Pending:
        return msg::kMarkPending;
    case Mark::Working:
        return msg::kMarkWorking;
    case Mark::Success:
        return msg::kMarkSuccess;
    case Mark::Failure:
        return msg::kMarkFailure;
    case Mark::NotChecked:
        return msg::kMarkNotChecked;
    }
    return msg::kMarkPending;
}

std::optional<Mark> markFromText(std::string_view cell)
{
    for (const Mark mark : {Mark::Pending, Mark::Working, Mark::Success, Mark::Failure, Mark::NotChecked}) {
        if (cell == markText(mark))
            return mark;
    }
    return std::nullopt;
}

std::optional<Mark> markAt(const base::ListStore& list, int row)
{
    if (row < 0 || row >= list.rowCount())
        return std::nullopt;
    return markFromText(list.cell(row, kMarkColumn));
}

bool setMark(base::ListStore& list, int row, Mark mark, text::Text note, const text::Text* whileUrlIs)
{
    if (whileUrlIs)
        return list.setCellAndNoteIf(row, kUrlColumn, *whileUrlIs, kMarkColumn, markText(mark),
                                     std::move(note));
    return list.setCellAndNote(row, kMarkColumn, markText(mark), std::move(note));
}

} // namespace tavrin::library
