#include "library/template_file.h"

namespace tavrin::library {

std::vector<Text> templateLines(std::string_view fileBytes)
{
    return text::split(text::untilNul(fileBytes), "\r\n");
}

} // namespace tavrin::library
