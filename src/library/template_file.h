// The template file format: GBK text, lines separated by CR LF exactly. This is the library's
// own format, the one it saves; the other forms an import reads (UTF-8 text, JSON lists) are in
// template_import.h.
#pragma once

#include "text/gbk_text.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace tavrin::library {

using text::Text;

// Most entries one file may bring into the list. A row costs the list about a hundred bytes
// even when its line is a single character, so a file of tiny lines within the size limit
// (256 MB of "a" CR LF is some 90 million lines) would otherwise take gigabytes; the bound is
// hundreds of times the largest library anyone keeps.
inline constexpr std::size_t kMaxTemplateEntries = 1'000'000;

// Whether a file's bytes can be taken as a template file.
enum class TemplateTextCheck
{
    Ok,
    // Text continues after a NUL byte: a picture, a program or a UTF-16 file, whose rows would
    // be garbage (and, once saved, would replace the file without what followed the NUL).
    // NUL bytes that merely pad the end are no sign of that.
    NotText,
    // More entries than `maxEntries`.
    TooManyEntries,
};

[[nodiscard]] TemplateTextCheck checkTemplateText(std::string_view fileBytes,
                                                  std::size_t maxEntries = kMaxTemplateEntries);

// The entries of a file's bytes, one at a time, without a copy of them all: the text ends at
// the first NUL byte; it is split at every CR LF; empty lines in the middle are entries, a final
// CR LF adds none, and a lone LF or CR separates nothing.
class TemplateLineReader
{
public:
    // `fileBytes` must outlive the reader; the entries point into it.
    explicit TemplateLineReader(std::string_view fileBytes);
    [[nodiscard]] std::optional<std::string_view> next();

private:
    std::string_view rest_;
};

// Every entry of a file's bytes, as TemplateLineReader gives them.
[[nodiscard]] std::vector<Text> templateLines(std::string_view fileBytes);

} // namespace tavrin::library
