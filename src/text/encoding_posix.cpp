// GBK <-> UTF-8 through glibc's iconv.
#include "text/encoding.h"

#include "text/gbk_text.h"
#include "text/iconv_descriptor.h"
#include "text/utf8_sequence.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include <iconv.h>

namespace tavrin::text {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD"; // U+FFFD in UTF-8
constexpr std::string_view kQuestionMark = "?";

// iconv's "WCHAR_T" is used as a UTF-32 code unit, which holds on the glibc systems this builds on.
static_assert(sizeof(wchar_t) == 4, "wide characters must hold any code point");

// What to write in place of input that cannot be converted, and how many input bytes it covers
// (at least one).
struct Substitute
{
    std::string_view replacement;
    std::size_t skippedBytes;
};

// Output buffer that is filled in place by iconv and grows geometrically.
class OutputBuffer
{
public:
    explicit OutputBuffer(std::size_t capacity)
        : bytes_(capacity, '\0')
    {}

    char* end() noexcept { return bytes_.data() + used_; }
    std::size_t room() const noexcept { return bytes_.size() - used_; }
    void commitUpTo(const char* newEnd) noexcept { used_ = static_cast<std::size_t>(newEnd - bytes_.data()); }
    void grow() { bytes_.resize(bytes_.size() * 2 + 16); }

    void append(std::string_view text)
    {
        while (room() < text.size())
            grow();
        text.copy(end(), text.size());
        used_ += text.size();
    }

    std::string take() &&
    {
        bytes_.resize(used_);
        return std::move(bytes_);
    }

private:
    std::string bytes_;
    std::size_t used_ = 0;
};

// Without a working descriptor (a system without the GBK tables) ASCII, which both encodings
// share, still passes through and everything else is substituted.
template <typename Substitutor> std::string convertAsciiOnly(std::string_view input, Substitutor substitute)
{
    OutputBuffer output(input.size());
    for (std::size_t at = 0; at < input.size();) {
        if (static_cast<unsigned char>(input[at]) < 0x80) {
            output.append(input.substr(at, 1));
            ++at;
        } else {
            const Substitute sub = substitute(input.substr(at));
            output.append(sub.replacement);
            at += sub.skippedBytes;
        }
    }
    return std::move(output).take();
}

// Converts the whole input and appends the result. iconv gets the input in windows of bounded
// size: it stops at every character it cannot convert, and a window keeps the cost of each
// restart independent of the length of the text (sanitizer builds check the whole input range
// handed to every call). Within a window iconv stops only at a full output buffer (which is
// grown) or at input it cannot convert (which `substitute` replaces before carrying on).
template <typename Substitutor>
void convertInto(const IconvDescriptor& descriptor, std::string_view input, OutputBuffer& output,
                 Substitutor substitute)
{
    constexpr std::size_t kWindowBytes = std::size_t{4} * 1024;
    descriptor.reset();
    std::size_t at = 0;
    while (at < input.size()) {
        const std::size_t window = std::min(input.size() - at, kWindowBytes);
        // iconv's interface takes a non-const input pointer but never writes through it.
        char* in = const_cast<char*>(input.data() + at);
        std::size_t inLeft = window;
        char* out = output.end();
        std::size_t outLeft = output.room();
        const std::size_t result = iconv(descriptor.get(), &in, &inLeft, &out, &outLeft);
        const int error = errno;
        output.commitUpTo(out);
        at += window - inLeft;
        if (result != static_cast<std::size_t>(-1))
            continue;
        if (error == E2BIG) {
            output.grow();
            continue;
        }
        // A character cut in two by the end of the window is converted with the next window.
        if (error == EINVAL && at + inLeft < input.size())
            continue;
        // EILSEQ (bytes that do not convert) or EINVAL (a sequence cut off by the end of input).
        const Substitute sub = substitute(input.substr(at));
        output.append(sub.replacement);
        at += sub.skippedBytes;
        descriptor.reset();
    }
    // Both encodings are stateless, so there is no shift sequence to flush at the end.
}

// Used only without a working descriptor: a character GBK may not express becomes one '?', and
// so does each byte that is not valid UTF-8.
Substitute substituteForUtf8(std::string_view rest) noexcept
{
    const std::size_t length = wellFormedUtf8Length(rest);
    return {kQuestionMark, length == 0 ? 1 : length};
}

// A character in the wide buffer that GBK cannot express.
Substitute substituteForWide(std::string_view) noexcept
{
    return {kQuestionMark, sizeof(wchar_t)};
}

// A broken or unmapped GBK character becomes one U+FFFD: a lead byte with a proper second byte
// counts as one character, anything else as a single byte.
Substitute substituteForGbk(std::string_view rest) noexcept
{
    return {kReplacementCharacter, charLength(rest, 0)};
}

} // namespace

std::string gbkToUtf8(std::string_view gbk)
{
    thread_local const IconvDescriptor descriptor("UTF-8", "GBK");
    if (!descriptor.isOpen())
        return convertAsciiOnly(gbk, substituteForGbk);
    // A double-byte character mostly becomes three UTF-8 bytes.
    OutputBuffer output(gbk.size() + gbk.size() / 2 + 16);
    convertInto(descriptor, gbk, output, substituteForGbk);
    return std::move(output).take();
}

std::string utf8ToGbk(std::string_view utf8)
{
    // The UTF-8 is decoded here and iconv converts from its internal wide characters. Going
    // straight from UTF-8 would make glibc chain two conversion steps, and every character GBK
    // lacks would then cost a re-conversion of the step's whole buffer; decoding here also
    // gives invalid UTF-8 exactly the treatment we want.
    thread_local const IconvDescriptor descriptor("GBK", "WCHAR_T");
    if (!descriptor.isOpen())
        return convertAsciiOnly(utf8, substituteForUtf8);
    constexpr std::size_t kChunkCharacters = std::size_t{16} * 1024;
    // No character takes more bytes in GBK than in UTF-8.
    OutputBuffer output(utf8.size() + 16);
    std::vector<wchar_t> wide;
    wide.reserve(std::min(utf8.size(), kChunkCharacters));
    for (std::size_t at = 0; at < utf8.size();) {
        wide.clear();
        while (at < utf8.size() && wide.size() < kChunkCharacters)
            wide.push_back(static_cast<wchar_t>(decodeUtf8Character(utf8, at)));
        const std::string_view bytes(reinterpret_cast<const char*>(wide.data()),
                                     wide.size() * sizeof(wchar_t));
        convertInto(descriptor, bytes, output, substituteForWide);
    }
    return std::move(output).take();
}

} // namespace tavrin::text
