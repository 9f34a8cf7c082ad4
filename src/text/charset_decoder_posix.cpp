#include "text/charset_decoder.h"

#include "text/iconv_descriptor.h"

#include <algorithm>
#include <cerrno>

#include <iconv.h>

namespace tavrin::text {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// Converts all of `input` with `descriptor`, one U+FFFD for every code unit (`unitBytes` long:
// 2 in UTF-16, 1 elsewhere) that does not decode.
// iconv stops at each such byte; handing it windows of bounded size keeps the cost of every
// restart independent of the length of the text (sanitizer builds check the whole input range
// on each call, and binary bodies have a bad byte every few bytes).
std::string convertWithIconv(const IconvDescriptor& descriptor, std::string_view input,
                             std::size_t unitBytes = 1)
{
    constexpr std::size_t kWindowBytes = 1024;
    std::string output(input.size() + input.size() / 2 + 16, '\0');
    std::size_t used = 0;
    const auto append = [&](std::string_view piece) {
        if (output.size() - used < piece.size())
            output.resize(std::max(output.size() * 2, used + piece.size()));
        piece.copy(output.data() + used, piece.size());
        used += piece.size();
    };
    descriptor.reset();
    std::size_t at = 0;
    while (at < input.size()) {
        const std::size_t window = std::min(input.size() - at, kWindowBytes);
        // iconv takes a non-const input pointer but never writes through it.
        char* in = const_cast<char*>(input.data() + at);
        std::size_t inLeft = window;
        char* out = output.data() + used;
        std::size_t outLeft = output.size() - used;
        const std::size_t result = iconv(descriptor.get(), &in, &inLeft, &out, &outLeft);
        const int error = errno;
        used = static_cast<std::size_t>(out - output.data());
        at += window - inLeft;
        if (result != static_cast<std::size_t>(-1))
            continue;
        if (error == E2BIG) {
            output.resize(output.size() * 2 + 16);
            continue;
        }
        // A character cut in two by the end of the window is converted with the next window.
        if (error == EINVAL && at + inLeft < input.size())
            continue;
        // EILSEQ (a unit that does not decode) or EINVAL (a character cut off by the end of
        // the input). Skipping one unit lets the next one start a character of its own, so a
        // broken double-byte character never swallows the ASCII after it.
        append(kReplacementCharacter);
        at = std::min(at + unitBytes, input.size());
        descriptor.reset();
    }
    // Flush a stateful encoding (ISO-2022-JP and the like) back to its initial state.
    char* out = output.data() + used;
    std::size_t outLeft = output.size() - used;
    if (iconv(descriptor.get(), nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1))
        used = static_cast<std::size_t>(out - output.data());
    output.resize(used);
    return output;
}

// True when iconv decodes ASCII text unchanged from `name`: pages declare their charset in
// ASCII, so an encoding that reads ASCII differently (UTF-16 without a byte-order mark,
// UTF-32, EBCDIC) cannot be what such a page is written in.
bool decodesAsciiUnchanged(const IconvDescriptor& descriptor)
{
    constexpr std::string_view kProbe = "<meta charset=\"x\"> azAZ09";
    return convertWithIconv(descriptor, kProbe) == kProbe;
}

} // namespace

bool systemDecodes(const std::string& lowerLabel)
{
    const IconvDescriptor descriptor("UTF-8", lowerLabel.c_str());
    return descriptor.isOpen() && decodesAsciiUnchanged(descriptor);
}

std::optional<std::string> decodeWithSystem(std::string_view bytes, const std::string& name)
{
    const IconvDescriptor descriptor("UTF-8", name.c_str());
    if (!descriptor.isOpen())
        return std::nullopt;
    const bool utf16 = name == "UTF-16LE" || name == "UTF-16BE";
    return convertWithIconv(descriptor, bytes, utf16 ? 2 : 1);
}

} // namespace tavrin::text
