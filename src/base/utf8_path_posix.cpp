#include "base/utf8_path.h"

namespace tavrin::base {

std::filesystem::path pathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::string(utf8));
}

std::string utf8FromPath(const std::filesystem::path& path)
{
    return path.native();
}

} // namespace tavrin::base
