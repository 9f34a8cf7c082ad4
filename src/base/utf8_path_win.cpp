#include "base/utf8_path.h"

#include "base/wide_text.h"

namespace tavrin::base {

std::filesystem::path pathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(wideFromUtf8(utf8));
}

std::string utf8FromPath(const std::filesystem::path& path)
{
    return utf8FromWide(path.native());
}

} // namespace tavrin::base
