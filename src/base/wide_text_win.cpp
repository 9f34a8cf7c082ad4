#include "base/wide_text.h"

#include <climits>

#include <windows.h>

namespace tavrin::base {

namespace {

// The conversions take int lengths; longer texts go in pieces cut where no character is cut.
constexpr std::size_t kPiece = INT_MAX / 4;

} // namespace

std::wstring wideFromUtf8(std::string_view utf8)
{
    std::wstring wide;
    while (!utf8.empty()) {
        std::size_t length = std::min(utf8.size(), kPiece);
        // Never end a piece inside a sequence: step back over continuation bytes.
        while (length < utf8.size() && length > 0 &&
               (static_cast<unsigned char>(utf8[length]) & 0xC0) == 0x80)
            --length;
        if (length == 0)
            length = std::min(utf8.size(), kPiece);
        const int in = static_cast<int>(length);
        // Without MB_ERR_INVALID_CHARS ill-formed bytes become U+FFFD.
        const int needed = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in, nullptr, 0);
        const std::size_t at = wide.size();
        wide.resize(at + static_cast<std::size_t>(needed));
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in, wide.data() + at, needed);
        utf8.remove_prefix(length);
    }
    return wide;
}

std::string utf8FromWide(std::wstring_view wide)
{
    std::string utf8;
    while (!wide.empty()) {
        std::size_t length = std::min(wide.size(), kPiece);
        // Never end a piece between the two halves of a surrogate pair.
        if (length < wide.size() && wide[length] >= 0xDC00 && wide[length] <= 0xDFFF)
            --length;
        const int in = static_cast<int>(length);
        // Lone surrogates become U+FFFD.
        const int needed = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), in, nullptr, 0, nullptr, nullptr);
        const std::size_t at = utf8.size();
        utf8.resize(at + static_cast<std::size_t>(needed));
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), in, utf8.data() + at, needed, nullptr, nullptr);
        wide.remove_prefix(length);
    }
    return utf8;
}

} // namespace tavrin::base
