#include "library/url_library.h"

#include "base/file_io.h"
#include "library/site_host.h"
#include "library/template_file.h"
#include "platform/headless/memory_controls.h"
#include "platform/headless/scripted_desktop.h"
#include "support/bytes_read.h"
#include "support/headless_library.h"
#include "support/temp_dir.h"
#include "text/encoding.h"
#include "text/messages.h"

#include <gtest/gtest.h>

#include <fstream>

#include <algorithm>
#include <set>

namespace tavrin::library {
namespace {

using base::ListStore;
using testing_support::TempDir;
using text::Text;
using text::utf8ToGbk;

// The library wired to in-memory controls, as the command line and tests run it.
class LibraryTest : public testing::Test, protected testing_support::HeadlessLibrary
{
protected:
    LibraryTest()
        : HeadlessLibrary("http://WWW.My-Site.COM:8080/index.html")
    {}

    Text cell(int row, int column) const { return list.cell(row, column); }
    Text status() const { return statusLine.text(); }
    std::vector<Text> urls() const { return list.column(kUrlColumn); }

    void load(const std::filesystem::path& path)
    {
        handlers.loadFile(path);
        library.waitUntilLoaded();
    }
    void add(const Text& line)
    {
        addBox.setText(line);
        handlers.onAddClick();
    }
    std::string save(bool onlySuccessRows)
    {
        onlySuccess.setChecked(onlySuccessRows);
        const auto file = dir / "saved.txt";
        dialogs.queueFileName(file);
        handlers.onSaveClick();
        return TempDir::read(file);
    }
};

Text importedText(int added, int total)
{
    return utf8ToGbk("导入：" + std::to_string(added) + "个网址，共：" + std::to_string(total) + "个网址");
}

TEST_F(LibraryTest, LoadExpandsEveryLineAndReports)
{
    load(dir.write("url.txt", "http://a.example/q?d={$url}&x=1\r\n\r\nplain text\r\n"));

    ASSERT_EQ(list.rowCount(), 3);
    EXPECT_EQ(urls(), (std::vector<Text>{"http://a.example/q?d=www.my-site.com&x=1", "", "plain text"}));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(cell(row, kNumberColumn), std::to_string(row + 1));
        EXPECT_EQ(cell(row, kMarkColumn), msg::kMarkPending);
    }
    EXPECT_EQ(status(), importedText(3, 3));
}

TEST_F(LibraryTest, ImportAppendsAndNumberingContinues)
{
    const auto file = dir.write("more.txt", "http://a/{$url}\r\nhttp://b/{$url}");
    load(file);
    dialogs.queueFileName(file);
    handlers.onImportClick();
    library.waitUntilLoaded();

    EXPECT_EQ(list.rowCount(), 4);
    EXPECT_EQ(cell(3, kNumberColumn), "4");
    EXPECT_EQ(cell(3, kUrlColumn), "http://b/www.my-site.com");
    EXPECT_EQ(status(), importedText(2, 4));

    // A cancelled dialog changes nothing.
    handlers.onImportClick();
    library.waitUntilLoaded();
    EXPECT_EQ(list.rowCount(), 4);
    EXPECT_EQ(status(), importedText(2, 4));
    EXPECT_EQ(dialogs.fileFilters().back(), msg::kImportFileFilter);
}

TEST_F(LibraryTest, BadFilesLoadWithoutHarm)
{
    std::filesystem::create_directory(dir / "folder");
    const std::string longLine(100000, 'x');
    const struct
    {
        const char* name;
        std::filesystem::path path;
        std::vector<Text> rows;
    } cases[] = {
        {"missing", dir / "missing.txt", {}},
        {"directory", dir / "folder", {}},
        {"empty", dir.write("empty.txt", ""), {}},
        {"NUL bytes pad the end", dir.write("nul-bytes.txt", std::string("a\r\nb\0\0", 6)), {"a", "b"}},
        {"LF only", dir.write("lf.txt", "a\nb\n"), {"a\nb\n"}},
        {"lone lead byte", dir.write("lead.txt", "a\r\nb\xB0"), {"a", "b\xB0"}},
        {"long line", dir.write("long.txt", longLine + "\r\n"), {longLine}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        handlers.onMenuDeleteAll();
        load(c.path);
        EXPECT_EQ(urls(), c.rows);
        EXPECT_EQ(status(), importedText(static_cast<int>(c.rows.size()), static_cast<int>(c.rows.size())));
    }
}

TEST_F(LibraryTest, StartUpWithoutUrlTxtKeepsTheInitialStatus)
{
    handlers.loadFile(dir / "url.txt", window::LibraryHandlers::LoadKind::Startup);
    library.waitUntilLoaded();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(status(), msg::kStatusInitial);
}

using testing_support::bytesReadSoFar;

// A file of `size` bytes that takes no room: extended, never written.
std::filesystem::path sparseFile(const std::filesystem::path& path, std::uintmax_t size)
{
    std::ofstream(path, std::ios::binary).flush();
    std::error_code error;
    std::filesystem::resize_file(path, size, error);
    if (error)
        ADD_FAILURE() << "resize_file: " << error.message();
    return path;
}

TEST_F(LibraryTest, RefusesAHugeFileWithAMessageWithoutReadingIt)
{
    const std::filesystem::path files[] = {
        sparseFile(dir / "huge.txt", base::kMaxLibraryFileBytes + 1),
        sparseFile(dir / "url.txt", 1ull << 30),
    };
    add("http://kept/{$url}");
    for (const auto& file : files) {
        for (const auto kind :
             {window::LibraryHandlers::LoadKind::Startup, window::LibraryHandlers::LoadKind::Import}) {
            SCOPED_TRACE(file.filename().string() +
                         (kind == window::LibraryHandlers::LoadKind::Startup ? " at start" : ""));
            statusLine.setText(msg::kStatusInitial);
            const long long readBefore = bytesReadSoFar();
            handlers.loadFile(file, kind);
            library.waitUntilLoaded();
            EXPECT_LT(bytesReadSoFar() - readBefore, 1 << 20);
            EXPECT_EQ(status(), msg::kImportTooLarge + utf8ToGbk(file.string()));
            EXPECT_EQ(urls(), std::vector<Text>{"http://kept/www.my-site.com"});
        }
    }
}

TEST_F(LibraryTest, RefusesFilesThatAreNotTextOrHoldTooManyEntries)
{
    const std::string elf("\x7F"
                          "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0\x3E\0",
                          20);
    std::string manyLines;
    manyLines.reserve(3 * (kMaxTemplateEntries + 1));
    for (std::size_t i = 0; i <= kMaxTemplateEntries; ++i)
        manyLines += "a\r\n";
    const struct
    {
        const char* name;
        std::filesystem::path path;
        Text message;
    } cases[] = {
        {"program", dir.write("program", elf), msg::kImportNotText},
        {"UTF-16 text", dir.write("utf16.txt", std::string("\xFF\xFEh\0t\0t\0p\0:\0/\0/\0\r\0\n\0", 18)),
         msg::kImportNotText},
        {"text after a NUL byte", dir.write("nul-bytes.txt", std::string("a\r\nb\0\r\nc\r\n", 10)),
         msg::kImportNotText},
        {"one entry more than allowed", dir.write("many.txt", manyLines), msg::kImportTooManyEntries},
    };
    add("http://kept/{$url}");
    for (const auto& c : cases) {
        for (const auto kind :
             {window::LibraryHandlers::LoadKind::Startup, window::LibraryHandlers::LoadKind::Import}) {
            SCOPED_TRACE(std::string(c.name) +
                         (kind == window::LibraryHandlers::LoadKind::Startup ? " at start" : ""));
            statusLine.setText(msg::kStatusInitial);
            handlers.loadFile(c.path, kind);
            library.waitUntilLoaded();
            EXPECT_EQ(status(), c.message + utf8ToGbk(c.path.string()));
            EXPECT_EQ(urls(), std::vector<Text>{"http://kept/www.my-site.com"}) << "not a row of it is added";
            EXPECT_EQ(library.total(), 1);
        }
    }
}

TEST_F(LibraryTest, AddCountsAndClearResets)
{
    add("http://a/{$url}");
    add("http://b/{$url}");
    add("");
    EXPECT_EQ(cell(2, kUrlColumn), "");
    EXPECT_EQ(addBox.text(), "");

    list.setSelection(0);
    handlers.onMenuDeleteUrl();
    // The totals are the rows in the list; the numbering goes on from the last number given.
    EXPECT_EQ(status(), utf8ToGbk("删除1个网址，共：2个网址"));
    add("http://c/{$url}");
    EXPECT_EQ(status(), utf8ToGbk("插入1个网址，共：3个网址"));
    EXPECT_EQ(cell(2, kNumberColumn), "4");

    handlers.onMenuDeleteAll();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(status(), utf8ToGbk("清空了共：0个网址"));
    add("http://d/{$url}");
    EXPECT_EQ(cell(0, kNumberColumn), "1");
    EXPECT_EQ(status(), utf8ToGbk("插入1个网址，共：1个网址"));
}

TEST_F(LibraryTest, SaveWritesEachRowsTemplateAndFiltersSuccess)
{
    add("http://a.example/{$url}");
    add("http://b.example/?u={$url}&v={$url}");
    // The host typed out instead of the placeholder, in capitals.
    add("http://c.example/WWW.MY-SITE.com/");
    list.setCell(0, kMarkColumn, msg::kMarkSuccess);
    list.setCell(1, kMarkColumn, msg::kMarkFailure);
    list.setCell(2, kMarkColumn, msg::kMarkSuccess);

    const std::string everyRow = "http://a.example/{$url}\r\nhttp://b.example/?u={$url}&v={$url}\r\n"
                                 "http://c.example/{$url}/\r\n";
    EXPECT_EQ(save(false), everyRow);
    EXPECT_EQ(save(true), "http://a.example/{$url}\r\nhttp://c.example/{$url}/\r\n");
    EXPECT_EQ(status(), utf8ToGbk("已保存2个网址到：" + (dir / "saved.txt").string()));
    EXPECT_TRUE(dialogs.shownBoxes().empty()) << "nothing asked while there are rows to write";

    // Another address typed in: the rows follow it, and the library keeps its placeholders. The
    // row with the old host written out stays as it was typed, and so keeps its mark.
    siteAddress.setText("http://Other.example/");
    EXPECT_EQ(save(false), "http://a.example/{$url}\r\nhttp://b.example/?u={$url}&v={$url}\r\n"
                           "http://c.example/WWW.MY-SITE.com/\r\n");
    EXPECT_EQ(urls(), (std::vector<Text>{"http://a.example/other.example",
                                         "http://b.example/?u=other.example&v=other.example",
                                         "http://c.example/WWW.MY-SITE.com/"}));
    EXPECT_EQ(list.column(kMarkColumn),
              (std::vector<Text>{msg::kMarkPending, msg::kMarkPending, msg::kMarkSuccess}))
        << "a verdict about another URL is gone";
    EXPECT_EQ(save(true), "http://c.example/WWW.MY-SITE.com/\r\n");

    // Nothing qualifies: the user is asked first. No (the default) leaves the file as it was.
    list.setCell(2, kMarkColumn, msg::kMarkWorking);
    statusLine.setText("before");
    EXPECT_EQ(save(true), "http://c.example/WWW.MY-SITE.com/\r\n");
    EXPECT_EQ(status(), "before");
    ASSERT_EQ(dialogs.shownBoxes().size(), 1u);
    EXPECT_EQ(dialogs.shownBoxes()[0].message, utf8ToGbk("是否保存空文件？"));
    EXPECT_EQ(dialogs.shownBoxes()[0].flags, platform::box::kAskYesNoDefaultNo);
    dialogs.queueAnswer(platform::BoxAnswer::Yes);
    EXPECT_EQ(save(true), "");
    EXPECT_EQ(status(), utf8ToGbk("已保存0个网址到：" + (dir / "saved.txt").string()));
}

TEST_F(LibraryTest, EachChoiceOfRowsKeepsTheMarksItShould)
{
    // One row of every mark, in the order of the list.
    const struct
    {
        Mark mark;
        const char* line;
    } rows[] = {
        {Mark::Success, "http://ok.example/{$url}"},
        {Mark::Failure, "http://failed.example/{$url}"},
        {Mark::Pending, "http://pending.example/{$url}"},
        {Mark::Working, "http://working.example/{$url}"},
    };
    for (const auto& row : rows)
        library.add(row.line);
    for (int at = 0; at < 4; ++at)
        setMark(list, at, rows[at].mark);

    const struct
    {
        const char* name;
        RowsToSave which;
        std::vector<Mark> kept;
    } cases[] = {
        {"every row", RowsToSave::Every, {Mark::Success, Mark::Failure, Mark::Pending, Mark::Working}},
        {"only the successes", RowsToSave::Succeeded, {Mark::Success}},
        {"all but the failures", RowsToSave::AllButFailed, {Mark::Success, Mark::Pending, Mark::Working}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string expected;
        for (const auto& row : rows) {
            if (std::find(c.kept.begin(), c.kept.end(), row.mark) != c.kept.end())
                expected += std::string(row.line) + "\r\n";
        }
        const auto file = dir / "rows.txt";
        const SaveResult result = library.saveTo(file, c.which);
        ASSERT_TRUE(result.saved());
        EXPECT_EQ(result.rows, static_cast<int>(c.kept.size()));
        EXPECT_EQ(TempDir::read(file), expected);
    }
}

TEST_F(LibraryTest, RowsFollowTheAddressAndKeepTheirTemplates)
{
    load(dir.write("url.txt",
                   "http://a.example/?q={$url}\r\n\xB8\xF1\xCA\xBD\xC8\xE7\xA3\xBAhttp://b.example/{$url}\r\n"
                   "plain text\r\n"));
    list.setCell(0, kMarkColumn, msg::kMarkSuccess);
    list.setCell(2, kMarkColumn, msg::kMarkFailure);
    EXPECT_EQ(list.source(1), std::optional<Text>("http://b.example/{$url}")) << "the marker is not kept";

    // Typing alone changes nothing; the rows follow once the address is taken (its editing
    // ended, or a pass, a save, an edit reads the rows).
    siteAddress.setText("https://New-Site.example:8443/home");
    EXPECT_EQ(cell(0, kUrlColumn), "http://a.example/?q=www.my-site.com");
    EXPECT_EQ(handlers.onSiteAddressEdited(), "new-site.example");
    EXPECT_EQ(urls(), (std::vector<Text>{"http://a.example/?q=new-site.example",
                                         "http://b.example/new-site.example", "plain text"}));
    // Rows whose URL changed wait for a new check; a row that does not depend on the host keeps
    // its verdict.
    EXPECT_EQ(list.column(kMarkColumn),
              (std::vector<Text>{msg::kMarkPending, msg::kMarkPending, msg::kMarkFailure}));

    // Rows loaded and added afterwards are expanded with the new host too.
    add("http://c.example/{$url}");
    EXPECT_EQ(cell(3, kUrlColumn), "http://c.example/new-site.example");
    // And back: nothing of the first host was lost.
    siteAddress.setText("www.my-site.com");
    handlers.onSiteAddressEdited();
    EXPECT_EQ(cell(0, kUrlColumn), "http://a.example/?q=www.my-site.com");
    EXPECT_EQ(save(false), "http://a.example/?q={$url}\r\nhttp://b.example/{$url}\r\nplain text\r\n"
                           "http://c.example/{$url}\r\n");
}

TEST_F(LibraryTest, AnEditedUrlBecomesTheRowsTemplate)
{
    add("http://a.example/{$url}");
    list.setCell(0, kMarkColumn, msg::kMarkSuccess);
    list.setSelection(0);
    // The edit names the site host in other letters: it stands for the placeholder.
    dialogs.queueText(Text("http://edited.example/?site=WWW.MY-SITE.COM"));
    handlers.onMenuEditUrl();
    EXPECT_EQ(cell(0, kUrlColumn), "http://edited.example/?site=www.my-site.com");
    EXPECT_EQ(list.source(0), std::optional<Text>("http://edited.example/?site={$url}"));
    EXPECT_EQ(cell(0, kMarkColumn), msg::kMarkPending) << "the old verdict was about another URL";

    siteAddress.setText("next.example");
    handlers.onSiteAddressEdited();
    EXPECT_EQ(cell(0, kUrlColumn), "http://edited.example/?site=next.example");
    EXPECT_EQ(save(false), "http://edited.example/?site={$url}\r\n");
}

TEST_F(LibraryTest, TheShippedLibrarySavesAsItAlwaysDid)
{
    // With the address left as it was when the file was loaded, saving writes exactly what
    // expanding every line and turning the host back into "{$url}" always wrote.
    const std::filesystem::path shipped = std::filesystem::path(TAVRIN_SOURCE_DIR) / "data" / "url.txt";
    const std::string original = TempDir::read(shipped);
    ASSERT_FALSE(original.empty());
    for (const char* address :
         {"http://www.tavrin.example", "http://WWW.My-Site.COM:8080/index.html", "a.cn"}) {
        SCOPED_TRACE(address);
        list.deleteAll();
        siteAddress.setText(address);
        load(shipped);
        std::string expected;
        const Text host = siteHost(address);
        for (const Text& line : templateLines(original))
            expected += collapseHost(expandTemplate(line, host), host) + "\r\n";
        EXPECT_EQ(save(false), expected);
    }
}

TEST_F(LibraryTest, BytesSurviveALoadSaveRoundTrip)
{
    const std::string original = "http://x.example/{$url}/\xB2\xE2\xCA\xD4\r\n"
                                 "\xEF\xBB\xBF\x01\x02\xFF\r\n"
                                 "\r\n"
                                 "tail\xB0\r\n";
    load(dir.write("in.txt", original));
    EXPECT_EQ(save(false), original);
}

TEST_F(LibraryTest, FailedSaveKeepsTheOldFileAndSaysSo)
{
    add("http://a/{$url}");
    const auto existing = dir.write("keep.txt", "old library\r\n");
    dialogs.queueFileName(existing / "child.txt");
    handlers.onSaveClick();
    EXPECT_EQ(status().rfind(msg::kSaveFailed, 0), 0u);
    EXPECT_EQ(TempDir::read(existing), "old library\r\n");

    // Cancelling the dialog writes nothing and says nothing.
    statusLine.setText("before");
    handlers.onSaveClick();
    EXPECT_EQ(status(), "before");
}

TEST_F(LibraryTest, RowActionsNeedASelectedUrl)
{
    add("http://a/{$url}");
    add("");
    EXPECT_FALSE(handlers.onListRightClick());
    handlers.onListDoubleClick();
    EXPECT_TRUE(shell.opened().empty());

    list.setSelection(1);
    EXPECT_FALSE(handlers.onListRightClick());
    handlers.onListDoubleClick();
    EXPECT_TRUE(shell.opened().empty());

    list.setSelection(0);
    EXPECT_TRUE(handlers.onListRightClick());
    handlers.onListDoubleClick();
    handlers.onMenuOpenUrl();
    EXPECT_EQ(shell.opened(), (std::vector<Text>{"http://a/www.my-site.com", "http://a/www.my-site.com"}));

    dialogs.queueText(std::nullopt);
    handlers.onMenuEditUrl();
    EXPECT_EQ(cell(0, kUrlColumn), "http://a/www.my-site.com");
    dialogs.queueText(Text("http://edited/"));
    handlers.onMenuEditUrl();
    EXPECT_EQ(cell(0, kUrlColumn), "http://edited/");
    EXPECT_EQ(list.source(0), std::optional<Text>("http://edited/"));
}

TEST_F(LibraryTest, ConcurrentLoadsAndAddsKeepTheirOwnRows)
{
    std::string first;
    std::string second;
    for (int i = 0; i < 3000; ++i) {
        first += "http://first/" + std::to_string(i) + "/{$url}\r\n";
        second += "http://second/" + std::to_string(i) + "/{$url}\r\n";
    }
    handlers.loadFile(dir.write("first.txt", first));
    handlers.loadFile(dir.write("second.txt", second));
    for (int i = 0; i < 200; ++i)
        add("http://added/{$url}");
    library.waitUntilLoaded();

    ASSERT_EQ(list.rowCount(), 6200);
    EXPECT_EQ(library.total(), 6200);
    std::vector<int> nextOf(2, 0);
    std::set<std::string> numbers;
    for (const ListStore::Row& row : list.rows()) {
        numbers.insert(row.cells[kNumberColumn]);
        EXPECT_EQ(row.cells[kMarkColumn], msg::kMarkPending);
        const Text& url = row.cells[kUrlColumn];
        if (url == "http://added/www.my-site.com")
            continue;
        // Each file's rows arrive whole and in file order.
        const int which = url.starts_with("http://first/") ? 0 : 1;
        const std::string prefix = which == 0 ? "http://first/" : "http://second/";
        EXPECT_EQ(url, prefix + std::to_string(nextOf[which]++) + "/www.my-site.com");
    }
    EXPECT_EQ(nextOf, (std::vector<int>{3000, 3000}));
    EXPECT_EQ(numbers.size(), 6200u) << "every row has a number of its own";
}

} // namespace
} // namespace tavrin::library
