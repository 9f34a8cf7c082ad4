#include "update/text_between.h"

namespace tavrin::update {

text::Text textBetween(std::string_view text, std::string_view start, std::string_view end)
{
    const long long startAt = text::find(text, start);
    const long long from = startAt + static_cast<long long>(start.size());
    if (from < 1 || from > static_cast<long long>(text.size()))
        return {};
    const std::string_view rest = text.substr(static_cast<std::size_t>(from - 1));
    const long long endAt = text::find(rest, end);
    if (endAt <= 1)
        return {};
    return text::Text(rest.substr(0, static_cast<std::size_t>(endAt - 1)));
}

} // namespace tavrin::update
