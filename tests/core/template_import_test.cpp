// Template lists of other tools: the placeholders they use, the sample host some lists carry, the
// form a file is in (library, UTF-8 text, JSON) and what is skipped.
#include "library/placeholders.h"
#include "library/template_import.h"
#include "text/encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin::library {
namespace {

using text::Text;
using text::utf8ToGbk;

TEST(ForeignPlaceholders, BecomeTheProgramsOwnOrMakeTheTemplateUnusable)
{
    const struct
    {
        const char* name;
        Text line;
        PlaceholderMapping mapping;
        Text mapped; // for Mapped
    } cases[] = {
        {"double braces", "http://a.example/{{DOMAIN}}/x", PlaceholderMapping::Mapped,
         "http://a.example/{$url}/x"},
        {"any letter case, blanks inside", "http://a.example/?h={{ host }}&u={{Url}}",
         PlaceholderMapping::Mapped, "http://a.example/?h={$url}&u={$url}"},
        {"NOPROTOCOL_URL", "http://a.example/{{NOPROTOCOL_URL}}", PlaceholderMapping::Mapped,
         "http://a.example/{$url}"},
        {"ENCODE_ forms", "http://a.example/?q={{ENCODE_DOMAIN}}&r={{ENCODE_NOPROTOCOL_URL}}",
         PlaceholderMapping::Mapped, "http://a.example/?q={$url}&r={$url}"},
        {"square brackets", "http://a.example/[DOMAIN]?u=[ENCODE_URL]", PlaceholderMapping::Mapped,
         "http://a.example/{$url}?u={$url}"},
        {"lower-case domain", "http://a.example/{domain}.html", PlaceholderMapping::Mapped,
         "http://a.example/{$url}.html"},
        {"beside our own", "http://a.example/{$url}/{{HOST}}", PlaceholderMapping::Mapped,
         "http://a.example/{$url}/{$url}"},
        {"GBK text around it", utf8ToGbk("格式如：http://a.example/{{DOMAIN}}/中文"),
         PlaceholderMapping::Mapped, utf8ToGbk("格式如：http://a.example/{$url}/中文")},

        {"an id", "http://a.example/{{ID}}/{{DOMAIN}}", PlaceholderMapping::Unmappable, {}},
        {"a part of the domain",
         "http://a.example/{{SECOND_LEVEL_DOMAIN}}",
         PlaceholderMapping::Unmappable,
         {}},
        {"an unknown name in brackets", "http://a.example/[DOMAIN]/[ID]", PlaceholderMapping::Unmappable, {}},

        {"our own only", "http://a.example/{$url}", PlaceholderMapping::Unchanged, {}},
        {"lower-case brackets are URL text",
         "http://a.example/?q[url]=1&[domain]",
         PlaceholderMapping::Unchanged,
         {}},
        {"one capital in brackets", "http://a.example/?q[A]=1", PlaceholderMapping::Unchanged, {}},
        {"braces that close nothing", "http://a.example/{{DOMAIN", PlaceholderMapping::Unchanged, {}},
        {"not a name inside", "http://a.example/{{a-b}}", PlaceholderMapping::Unchanged, {}},
        {"single braces", "http://a.example/{DOMAIN}", PlaceholderMapping::Unchanged, {}},
        // 0x81 0x5B and 0x81 0x7B are single GBK characters: their second bytes are no bracket.
        {"a bracket as a trail byte", "http://a.example/\x81[DOMAIN]", PlaceholderMapping::Unchanged, {}},
        {"a brace as a trail byte", "http://a.example/\x81{{ID}}", PlaceholderMapping::Unchanged, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Text mapped;
        const PlaceholderMapping mapping = mapForeignPlaceholders(c.line, mapped);
        EXPECT_EQ(mapping, c.mapping);
        if (mapping == PlaceholderMapping::Mapped) {
            EXPECT_EQ(mapped, c.mapped);
        }
    }
}

TEST(SampleHost, IsReplacedOnlyWhereItStandsAsAHostOfItsOwn)
{
    const struct
    {
        Text line;
        Text replaced;
    } cases[] = {
        {"http://whois.example.com/example.com.html", "http://whois.example.com/{$url}.html"},
        {"http://rank.example.org/?site=EXAMPLE.Com&x=1", "http://rank.example.org/?site={$url}&x=1"},
        {"example.com/start", "{$url}/start"},
        {"http://a.example/example.com", "http://a.example/{$url}"},
        {"http://a.example/example.com/example.com", "http://a.example/{$url}/{$url}"},
        // Letters, digits and '-' on either side belong to another host.
        {"http://a.example/my-example.com", "http://a.example/my-example.com"},
        {"http://a.example/myexample.com", "http://a.example/myexample.com"},
        {"http://a.example/2example.com", "http://a.example/2example.com"},
        {"http://a.example/example.community", "http://a.example/example.community"},
        {"http://a.example/example.com-x", "http://a.example/example.com-x"},
        {"http://a.example/example.com2", "http://a.example/example.com2"},
        // A percent-escape ends with a hex digit, but what it stands for is what counts.
        {"http://a.example/?q=site%3aexample.com", "http://a.example/?q=site%3a{$url}"},
        {"http://a.example/?u=http%3a%2f%2fexample.com%2f", "http://a.example/?u=http%3a%2f%2f{$url}%2f"},
        {"http://a.example/?u=HTTP%3A%2F%2FExample.Com", "http://a.example/?u=HTTP%3A%2F%2F{$url}"},
        {"http://a.example/go?to%3dexample.com%26x", "http://a.example/go?to%3d{$url}%26x"},
        {"http://a.example/?q=%22example.com%22", "http://a.example/?q=%22{$url}%22"},
        {"http://a.example/?q=%E4%B8%ADexample.com", "http://a.example/?q=%E4%B8%AD{$url}"},
        {"http://a.example/?u=www%2eexample.com", "http://a.example/?u=www%2eexample.com"},
        {"http://a.example/?u=my%2Dexample.com", "http://a.example/?u=my%2Dexample.com"},
        {"http://a.example/?u=example.com%2ecn", "http://a.example/?u=example.com%2ecn"},
        {"http://a.example/?u=example.com%2Dx", "http://a.example/?u=example.com%2Dx"},
        // A dot and a label after it make a longer name, and a dot before it a subdomain.
        {"http://a.example/example.com.cn", "http://a.example/example.com.cn"},
        {"http://a.example/?d=example.com.cn&x=example.com", "http://a.example/?d=example.com.cn&x={$url}"},
        {"http://example.com.whois.example/", "http://example.com.whois.example/"},
        {"http://www.example.com/", "http://www.example.com/"},
        {utf8ToGbk("http://a.example/example.com.中国"), utf8ToGbk("http://a.example/example.com.中国")},
        // A dot that no label follows ends a fully qualified name or a sentence.
        {"http://example.com./x", "http://{$url}./x"},
        {"http://a.example/?q=example.com.", "http://a.example/?q={$url}."},
        {"see example.com. Then", "see {$url}. Then"},
        {"http://a.example/?q=example.com.&x", "http://a.example/?q={$url}.&x"},
        // ... and so does one followed by a file's extension.
        {"http://a.example/Example.com.HTM?x=1", "http://a.example/{$url}.HTM?x=1"},
        {"http://a.example/rank/example.com.png", "http://a.example/rank/{$url}.png"},
        {"see example.com.html.", "see {$url}.html."},
        {"http://a.example/example.com.php.cn/", "http://a.example/example.com.php.cn/"},
        {"http://a.example/example.com.html5", "http://a.example/example.com.html5"},
        // After a double-byte character (another host cannot end in one) it counts.
        {utf8ToGbk("查询example.com"), utf8ToGbk("查询{$url}")},
        // The "e" is the second byte of the character 0x81 0x65; what follows it is "xample.com".
        {"http://a.example/\x81"
         "example.com",
         "http://a.example/\x81"
         "example.com"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(replaceSampleHost(c.line, "example.com"), c.replaced);
    }
    EXPECT_EQ(replaceSampleHost("http://a.example/example.com", ""), "http://a.example/example.com");
}

// The templates and the skipped entries of a file's bytes.
struct Imported
{
    TemplateImport::Check check;
    TemplateFormat format;
    std::vector<Text> templates;
    SkippedTemplates skipped;
};

Imported import(std::string_view bytes, ImportOptions options = {},
                std::size_t maxEntries = kMaxTemplateEntries)
{
    const TemplateImport reader(bytes, std::move(options), maxEntries);
    Imported result{reader.check(), reader.format(), {}, {}};
    reader.forEach(
        [&](std::string_view line) {
            result.templates.emplace_back(line);
            return true;
        },
        result.skipped);
    return result;
}

struct FormatCase
{
    const char* name;
    std::string bytes;
    TemplateFormat format;
    std::vector<Text> templates;
    SkippedTemplates skipped = {};
};

void PrintTo(const FormatCase& c, std::ostream* out)
{
    *out << c.name;
}

class FileFormat : public testing::TestWithParam<FormatCase>
{
};

TEST_P(FileFormat, IsToldFromTheBytesAndEveryEntryBecomesAGbkTemplate)
{
    const FormatCase& c = GetParam();
    const Imported result = import(c.bytes);
    ASSERT_EQ(result.check, TemplateImport::Check::Ok);
    EXPECT_EQ(result.format, c.format);
    EXPECT_EQ(result.templates, c.templates);
    EXPECT_EQ(result.skipped, c.skipped);
}

const std::string kBom = "\xEF\xBB\xBF";

INSTANTIATE_TEST_SUITE_P(
    Files, FileFormat,
    testing::Values(
        // Text in ASCII only.
        FormatCase{"ASCII with CR LF",
                   "http://a/{$url}\r\nhttp://b/{{DOMAIN}}\r\n",
                   TemplateFormat::Library,
                   {"http://a/{$url}", "http://b/{$url}"}},
        FormatCase{"ASCII list with LF line ends",
                   "http://a/{{HOST}}\nhttp://b/[DOMAIN]\n\nhttp://c/\n",
                   TemplateFormat::Utf8Text,
                   {"http://a/{$url}", "http://b/{$url}", "", "http://c/"}},
        FormatCase{"ASCII with LF line ends and no URL", "a\nb\n", TemplateFormat::Library, {"a\nb\n"}},
        FormatCase{"ASCII with both line ends",
                   "http://a/{$url}\nhttp://b/{$url}\r\n",
                   TemplateFormat::Library,
                   {"http://a/{$url}\nhttp://b/{$url}"}},
        // UTF-8.
        FormatCase{"UTF-8 with a byte-order mark",
                   kBom + "http://a/{$url}\r\nhttp://b/?q=中文&d={{DOMAIN}}\r\n",
                   TemplateFormat::Utf8Text,
                   {"http://a/{$url}", utf8ToGbk("http://b/?q=中文&d={$url}")}},
        FormatCase{
            "UTF-8 with a byte-order mark, ASCII only", kBom + "a\nb", TemplateFormat::Utf8Text, {"a", "b"}},
        FormatCase{"UTF-8 without a mark",
                   "http://查询.example/{domain}\nhttp://b/\n",
                   TemplateFormat::Utf8Text,
                   {utf8ToGbk("http://查询.example/{$url}"), "http://b/"}},
        FormatCase{"UTF-8 with characters GBK lacks",
                   "http://a/{$url}?😀\nhttp://b/中\nhttp://c/ก\n",
                   TemplateFormat::Utf8Text,
                   {utf8ToGbk("http://b/中")},
                   SkippedTemplates{0, 2, 0}},
        FormatCase{"UTF-8 with a stray byte among many characters",
                   "http://a/中文中文中文中文中文中文中文中文中文\nhttp://b/\xB0\n",
                   TemplateFormat::Utf8Text,
                   {utf8ToGbk("http://a/中文中文中文中文中文中文中文中文中文")},
                   SkippedTemplates{0, 1, 0}},
        // GBK: the library format.
        FormatCase{"GBK",
                   utf8ToGbk("http://a/{$url}?q=中文\r\n格式如：http://b/{$url}\r\n"),
                   TemplateFormat::Library,
                   {utf8ToGbk("http://a/{$url}?q=中文"), utf8ToGbk("格式如：http://b/{$url}")}},
        // D5 BE is also UTF-8, for an Armenian letter GBK cannot hold: the GBK reading wins.
        FormatCase{"GBK that is also UTF-8",
                   utf8ToGbk("http://a/{$url}?站\r\n"),
                   TemplateFormat::Library,
                   {utf8ToGbk("http://a/{$url}?站")}},
        // D0 B0 is also UTF-8 for the Cyrillic "а", which GBK holds: no reading can tell, and
        // UTF-8 is the likelier.
        FormatCase{"GBK that is UTF-8 of characters GBK holds",
                   utf8ToGbk("http://a/?q=邪\r\n"),
                   TemplateFormat::Utf8Text,
                   {utf8ToGbk("http://a/?q=а")}},
        FormatCase{"GBK ending in a lone lead byte",
                   "http://a/{$url}\r\nb\xE4",
                   TemplateFormat::Library,
                   {"http://a/{$url}", "b\xE4"}},
        FormatCase{"text that starts with a bracket",
                   "[DOMAIN].example/x\r\n[1]\r\n",
                   TemplateFormat::Library,
                   {"{$url}.example/x", "[1]"}},
        // JSON.
        FormatCase{"JSON strings",
                   R"(["http://a/{{DOMAIN}}", "http://b/{$url}"])",
                   TemplateFormat::JsonList,
                   {"http://a/{$url}", "http://b/{$url}"}},
        FormatCase{
            "JSON objects and strings",
            kBom +
                "\n  [{\"name\": \"A\", \"url\": \"http://a/[DOMAIN]\", \"tags\": [\"url\", {\"url\": 1}]},\n"
                "   \"http://b/\\u4e2d{domain}\",\n"
                "   {\"url\": \"http://c/{{ID}}\"}, {\"name\": \"no url\"}, {\"url\": 5}, 7, null, [\"x\"],\n"
                "   \"two\\nlines\", \"http://d/😀\"]\n",
            TemplateFormat::JsonList,
            {"http://a/{$url}", utf8ToGbk("http://b/中{$url}")},
            SkippedTemplates{1, 1, 6}},
        // An empty or blank string, or "url" member, in a list holds no template: it is no empty
        // line to keep, as in text, but an element without a value.
        FormatCase{"JSON empty and blank strings",
                   "[\"\", \"http://a/{$url}\", \"  \", \"\\t \", {\"url\": \"\"}, {\"url\": \" \"}, "
                   "\"\\u3000\", \" http://b/{$url} \"]",
                   TemplateFormat::JsonList,
                   {"http://a/{$url}", " http://b/{$url} "},
                   SkippedTemplates{0, 0, 6}},
        FormatCase{"an empty JSON list", " [ ] ", TemplateFormat::JsonList, {}},
        FormatCase{
            "a JSON list of numbers", "[1, 2]", TemplateFormat::JsonList, {}, SkippedTemplates{0, 0, 2}}));

TEST(BrokenJson, IsRefusedWithThePlaceOfTheError)
{
    const struct
    {
        const char* name;
        std::string bytes;
        JsonSyntaxError where;
    } cases[] = {
        {"a stray word", "[\n  \"http://a/\",\n  \"http://b/\" x\n]", {3, 15, ""}},
        {"a trailing comma", R"(["http://a/", ])", {1, 15, ""}},
        {"cut off", "[{\"url\": \"http://a/\"", {1, 21, ""}},
        // The parser reads the unexpected string whole before it complains.
        {"after a byte-order mark", kBom + "[\"a\" \"b\"]", {1, 8, ""}},
        {"text after the list", "[]\r\nhttp://a/{$url}\r\n", {2, 1, ""}},
        // JSON is UTF-8; a list saved in GBK is not JSON.
        {"GBK in a string", "[\"http://a/" + utf8ToGbk("中") + "\"]", {1, 13, ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TemplateImport reader(c.bytes);
        ASSERT_EQ(reader.check(), TemplateImport::Check::Malformed);
        ASSERT_TRUE(reader.syntaxError());
        EXPECT_EQ(reader.syntaxError()->line, c.where.line);
        EXPECT_EQ(reader.syntaxError()->column, c.where.column);
        EXPECT_FALSE(reader.syntaxError()->reason.empty());
        SkippedTemplates skipped;
        bool handedOut = false;
        reader.forEach([&](std::string_view) { return handedOut = true; }, skipped);
        EXPECT_FALSE(handedOut);
    }
}

TEST(ImportLimits, HoldForEveryFormat)
{
    const struct
    {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"library", "a\r\nb\r\nc\r\n"},
        {"UTF-8", "http://a/\nhttp://b/\nhttp://c/\n"},
        {"JSON", R"(["a", {"url": "b"}, 3])"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TemplateImport(c.bytes, {}, 3).check(), TemplateImport::Check::Ok);
        EXPECT_EQ(TemplateImport(c.bytes, {}, 2).check(), TemplateImport::Check::TooManyEntries);
        // Text after a NUL byte is no text, whatever came before it.
        EXPECT_EQ(TemplateImport(c.bytes + std::string("\0x", 2)).check(), TemplateImport::Check::NotText);
        EXPECT_EQ(TemplateImport(c.bytes + std::string("\0\0", 2)).check(), TemplateImport::Check::Ok);
    }
}

TEST(ImportOptions, ASampleHostBecomesThePlaceholderBeforeMapping)
{
    ImportOptions options;
    options.sampleHost = "Sample.example";
    const Imported result =
        import("http://whois.example/sample.example\nhttp://rank.example/?d=SAMPLE.EXAMPLE&id={{ID}}\n"
               "http://sample.example.whois.example/{{HOST}}\n",
               options);
    EXPECT_EQ(result.templates, (std::vector<Text>{"http://whois.example/{$url}",
                                                   "http://sample.example.whois.example/{$url}"}));
    EXPECT_EQ(result.skipped, (SkippedTemplates{1, 0, 0}));
}

TEST(Utf8ToGbkExactly, RefusesWhatGbkCannotHold)
{
    EXPECT_EQ(utf8ToGbkExactly("plain"), Text("plain"));
    EXPECT_EQ(utf8ToGbkExactly("中文·—"), utf8ToGbk("中文·—"));
    EXPECT_EQ(utf8ToGbkExactly("aก"), std::nullopt);
    EXPECT_EQ(utf8ToGbkExactly("a\xB0"), std::nullopt) << "not UTF-8";
    EXPECT_EQ(utf8ToGbkExactly("?"), Text("?")) << "a question mark of its own is no loss";
}

} // namespace
} // namespace tavrin::library
