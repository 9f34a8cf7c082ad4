// 导入网址 with lists of other tools: what the status line says, which rows arrive, and that what
// is saved loads back as it was.
#include "library/url_library.h"

#include "support/headless_library.h"
#include "support/temp_dir.h"
#include "text/encoding.h"
#include "text/messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin::library {
namespace {

using testing_support::TempDir;
using text::Text;
using text::utf8ToGbk;

class LibraryImport : public testing::Test, protected testing_support::HeadlessLibrary
{
protected:
    LibraryImport()
        : HeadlessLibrary("http://www.my-site.com/")
    {}

    void import(const std::filesystem::path& path)
    {
        dialogs.queueFileName(path);
        handlers.onImportClick();
        library.waitUntilLoaded();
    }
    std::string save()
    {
        const auto file = dir / "saved.txt";
        dialogs.queueFileName(file);
        handlers.onSaveClick();
        return TempDir::read(file);
    }
    Text status() const { return statusLine.text(); }
    std::vector<Text> urls() const { return list.column(kUrlColumn); }
};

TEST_F(LibraryImport, AJsonListImportsItsUsableTemplatesAndCountsTheRest)
{
    const auto file = dir.write("list.json", R"([
        {"name": "whois", "url": "http://whois.example/{{DOMAIN}}"},
        "http://rank.example/?q=[ENCODE_HOST]",
        {"name": "by id", "url": "http://stats.example/{{ID}}"},
        "http://emoji.example/😀/{{HOST}}", "", "   ", {"url": ""}
    ])");
    import(file);
    EXPECT_EQ(urls(), (std::vector<Text>{"http://whois.example/www.my-site.com",
                                         "http://rank.example/?q=www.my-site.com"}));
    EXPECT_EQ(status(), utf8ToGbk("导入：2个网址，跳过5个，共：2个网址"));
    EXPECT_EQ(save(), "http://whois.example/{$url}\r\nhttp://rank.example/?q={$url}\r\n");

    // A second import counts on from the first; with nothing skipped the line is as it always was.
    import(dir.write("more.txt", "http://more.example/{domain}\n"));
    EXPECT_EQ(status(), utf8ToGbk("导入：1个网址，共：3个网址"));
}

TEST_F(LibraryImport, AListOfNothingUsableImportsNothingAndSaysSo)
{
    import(dir.write("ids.txt", "http://a.example/{{ID}}\nhttp://b.example/{{SECOND_LEVEL_DOMAIN}}\n"));
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(status(), utf8ToGbk("导入：0个网址，跳过2个，共：0个网址"));
}

TEST_F(LibraryImport, BrokenJsonIsRefusedWithWhereItBreaks)
{
    library.add("http://kept.example/{$url}");
    const auto file = dir.write("broken.json", "[\n  \"http://a.example/{{DOMAIN}}\",\n  oops\n]\n");
    const std::string before = TempDir::read(file);
    import(file);
    EXPECT_EQ(status(), utf8ToGbk("导入失败：JSON格式错误（第3行第3列）：" + file.string()));
    EXPECT_EQ(urls(), std::vector<Text>{"http://kept.example/www.my-site.com"}) << "not a row of it is added";
    EXPECT_EQ(TempDir::read(file), before);
}

TEST_F(LibraryImport, Utf8TextArrivesAsGbkAndSavesAsALibraryThatLoadsBackTheSame)
{
    import(dir.write("utf8.txt",
                     "\xEF\xBB\xBFhttp://查询.example/{{HOST}}?说明=中文\r\nhttp://b.example/{$url}\r\n"));
    EXPECT_EQ(urls(), (std::vector<Text>{utf8ToGbk("http://查询.example/www.my-site.com?说明=中文"),
                                         "http://b.example/www.my-site.com"}));
    const std::string saved = save();
    EXPECT_EQ(saved, utf8ToGbk("http://查询.example/{$url}?说明=中文\r\nhttp://b.example/{$url}\r\n"));

    // The saved library is GBK; loaded again it gives the same rows and saves the same bytes.
    // So does one whose only GBK character is also UTF-8 (of a letter GBK lacks).
    for (const std::string& again :
         {saved, utf8ToGbk("http://c.example/站/{$url}\r\nhttp://d.example/\r\n")}) {
        handlers.onMenuDeleteAll();
        import(dir.write("library.txt", again));
        EXPECT_EQ(status(), utf8ToGbk("导入：2个网址，共：2个网址"));
        EXPECT_EQ(save(), again);
    }
}

} // namespace
} // namespace tavrin::library
