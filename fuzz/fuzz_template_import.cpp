// TemplateImport: telling a template list's form (the library's own, UTF-8 text, a JSON list of
// another tool) and reading its templates, placeholders mapped.
//
// Input: the bytes of a file, as 导入网址 and --templates read them.
#include "fuzz_check.h"

#include "library/template_import.h"
#include "text/encoding.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace library = tavrin::library;
namespace text = tavrin::text;

struct Reading
{
    library::TemplateImport::Check check;
    library::TemplateFormat format;
    std::vector<std::string> templates;
    std::size_t skipped = 0;
};

Reading read(std::string_view bytes)
{
    const library::TemplateImport reader(bytes, {}, 10'000);
    Reading reading{reader.check(), reader.format(), {}, 0};
    library::SkippedTemplates skipped;
    reader.forEach(
        [&](std::string_view templateText) {
            reading.templates.emplace_back(templateText);
            return true;
        },
        skipped);
    reading.skipped = skipped.total();
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Reading first = read(bytes);

    // Nothing is taken from a file that is refused.
    if (first.check != library::TemplateImport::Check::Ok)
        TAVRIN_FUZZ_CHECK(first.templates.empty() && first.skipped == 0);
    // A malformed JSON list says where.
    if (first.check == library::TemplateImport::Check::Malformed) {
        const library::TemplateImport again(bytes, {}, 10'000);
        TAVRIN_FUZZ_CHECK(again.syntaxError().has_value());
    }
    // A template read from UTF-8 (text or JSON) was converted exactly: it goes back to the same
    // UTF-8 and comes again as the same GBK, so nothing was replaced on the way.
    if (first.format != library::TemplateFormat::Library) {
        for (const std::string& templateText : first.templates) {
            const std::string utf8 = text::gbkToUtf8(templateText);
            TAVRIN_FUZZ_CHECK(text::utf8ToGbk(utf8) == templateText);
        }
    }
    // The same bytes read the same way.
    const Reading second = read(bytes);
    TAVRIN_FUZZ_CHECK(second.check == first.check && second.format == first.format);
    TAVRIN_FUZZ_CHECK(second.templates == first.templates && second.skipped == first.skipped);
    return 0;
}
