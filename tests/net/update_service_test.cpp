// The update service against servers on 127.0.0.1: the download into a folder (whole files
// only, never outside that folder) and the checker's round from the notice to the question, the
// browser, the folder the file goes to and the report, with every box shown on the calling
// thread.
#include "support/local_server.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"
#include "text/encoding.h"
#include "update/update_checker.h"
#include "update/update_download.h"

#include "platform/headless/scripted_desktop.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace tavrin::update {
namespace {

using namespace std::chrono_literals;
using platform::BoxAnswer;
using testing_support::LocalServer;
using testing_support::RawServer;
using testing_support::TempDir;
using text::utf8ToGbk;

const std::string kNewFile("MZ\0\x01 new version", 16);

std::size_t entriesIn(const std::filesystem::path& dir)
{
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
}

// Files under /files/, counting every request.
class FileServer
{
public:
    FileServer()
    {
        server_.routes().Get("/files/setup.exe",
                             [this](const httplib::Request&, httplib::Response& response) {
                                 ++requests;
                                 response.set_content(kNewFile, "application/octet-stream");
                             });
        server_.routes().Get("/files/missing.exe",
                             [this](const httplib::Request&, httplib::Response& response) {
                                 ++requests;
                                 response.status = 404;
                                 response.set_content("<html>404 Not Found</html>", "text/html");
                             });
        server_.routes().Get("/files/broken.exe",
                             [this](const httplib::Request&, httplib::Response& response) {
                                 ++requests;
                                 response.status = 500;
                                 response.set_content("<html>500</html>", "text/html");
                             });
        server_.start();
    }
    [[nodiscard]] std::string url(const std::string& path) const { return server_.url(path); }

    std::atomic<int> requests{0};

private:
    LocalServer server_;
};

TEST(DownloadUpdate, SavesTheWholeFileUnderItsName)
{
    FileServer server;
    TempDir dir;
    dir.write("setup.exe", "the old version, longer than the new one");
    ::chmod((dir / "setup.exe").c_str(), 0755);
    // The query (with a path in it) goes to the server and is no part of the name.
    const DownloadResult result =
        downloadUpdate(server.url("/files/setup.exe?to=../../elsewhere"), dir.path());
    ASSERT_EQ(result.end, DownloadResult::End::Saved);
    EXPECT_EQ(result.shownPath, utf8ToGbk((dir / "setup.exe").string()));
    EXPECT_EQ(TempDir::read(dir / "setup.exe"), kNewFile);
    struct stat info
    {
    };
    ASSERT_EQ(::stat((dir / "setup.exe").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    // No temporary file is left behind.
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(DownloadUpdate, FailureLeavesTheExistingFileAndWritesNothing)
{
    FileServer server;
    const RawServer cutShort =
        RawServer::replying("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nhalf an installer");
    const struct
    {
        const char* what;
        std::string url;
    } cases[] = {
        {"404 error page", server.url("/files/missing.exe")},
        {"500 error page", server.url("/files/broken.exe")},
        {"body cut short", cutShort.url("/files/missing.exe")},
        {"nobody listening", "http://127.0.0.1:1/files/missing.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("missing.exe", "the old version");
        EXPECT_EQ(downloadUpdate(c.url, dir.path()).end, DownloadResult::End::Failed);
        EXPECT_EQ(TempDir::read(dir / "missing.exe"), "the old version");
        EXPECT_EQ(entriesIn(dir.path()), 1u);
    }
}

TEST(DownloadUpdate, UnsafeNamesAndAddressesFetchAndWriteNothing)
{
    FileServer server;
    TempDir dir;
    const std::string base = server.url("/files");
    const std::string cases[] = {
        "",
        base + "/..", // the program directory's parent
        base + "/.",  // the program directory itself
        base + "//",  // an empty name
        base + "/..\\..\\evil.exe",
        base + "/a\\b.exe",
        base + "/..?name=setup.exe",
        base + "/setup.exe/..#x",
        "file:///etc/passwd",
        "ftp://127.0.0.1:1/files/setup.exe",
        utf8ToGbk("版=2.1"), // a value cut from the wrong place of a notice: no scheme at all
    };
    for (const std::string& url : cases) {
        SCOPED_TRACE(url);
        EXPECT_EQ(downloadUpdate(url, dir.path()).end, DownloadResult::End::Failed);
    }
    EXPECT_EQ(server.requests.load(), 0);
    EXPECT_EQ(entriesIn(dir.path()), 0u);
}

TEST(DownloadUpdate, UnwritableDirectoryFails)
{
    FileServer server;
    TempDir dir;
    const auto notADirectory = dir.write("program", "a file, not a folder");
    std::filesystem::create_directories(dir / "bin" / "setup.exe");
    const struct
    {
        const char* what;
        std::filesystem::path programDir;
    } cases[] = {
        {"program directory is a file", notADirectory},
        {"program directory is missing", dir / "gone"},
        {"a folder holds the name", dir / "bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(downloadUpdate(server.url("/files/setup.exe"), c.programDir).end,
                  DownloadResult::End::Failed);
    }
    EXPECT_EQ(TempDir::read(notADirectory), "a file, not a folder");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "bin" / "setup.exe"));
    EXPECT_EQ(entriesIn(dir / "bin"), 1u);

    // Write-protection binds everyone but root.
    if (::geteuid() != 0) {
        std::filesystem::create_directory(dir / "locked");
        ::chmod((dir / "locked").c_str(), 0555);
        EXPECT_EQ(downloadUpdate(server.url("/files/setup.exe"), dir / "locked").end,
                  DownloadResult::End::Failed);
        EXPECT_EQ(entriesIn(dir / "locked"), 0u);
        ::chmod((dir / "locked").c_str(), 0755);
    }
}

TEST(DownloadUpdate, ALinkOfThatNameIsReplacedNotWrittenThrough)
{
    FileServer server;
    TempDir dir;
    TempDir elsewhere;
    const auto outside = elsewhere.write("precious", "outside the program directory");
    std::filesystem::create_symlink(outside, dir / "setup.exe");
    EXPECT_EQ(downloadUpdate(server.url("/files/setup.exe"), dir.path()).end, DownloadResult::End::Saved);
    EXPECT_EQ(TempDir::read(outside), "outside the program directory");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "setup.exe"));
    EXPECT_EQ(TempDir::read(dir / "setup.exe"), kNewFile);
}

TEST(DownloadUpdate, StopEndsItWithoutAFile)
{
    const RawServer silent = RawServer::silent();
    TempDir dir;
    std::stop_source stop;
    std::jthread stopper([&stop] {
        std::this_thread::sleep_for(100ms);
        stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(downloadUpdate(silent.url("/setup.exe"), dir.path(), stop.get_token()).end,
              DownloadResult::End::Stopped);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(entriesIn(dir.path()), 0u);
}

// The checker with a notice server, a scripted desktop, and a user-interface thread played by
// the test: posted functions wait in a queue until the test runs them.
class UpdateCheckerTest : public testing::Test
{
protected:
    UpdateCheckerTest()
    {
        server_.routes().Get("/notice", [this](const httplib::Request&, httplib::Response& response) {
            ++noticeRequests_;
            std::unique_lock lock(mutex_);
            released_.wait_for(lock, 5s, [this] { return !holdNotice_; });
            response.status = noticeStatus_;
            response.set_content(notice_, "text/html");
        });
        server_.routes().Get("/files/setup.exe",
                             [this](const httplib::Request&, httplib::Response& response) {
                                 ++fileRequests_;
                                 response.set_content(kNewFile, "application/octet-stream");
                             });
        server_.routes().Get("/files/missing.exe",
                             [this](const httplib::Request&, httplib::Response& response) {
                                 ++fileRequests_;
                                 response.status = 404;
                                 response.set_content("<html>404</html>", "text/html");
                             });
        server_.start();
        checker_ = makeChecker(server_.url("/notice"));
    }

    ~UpdateCheckerTest() override { hold(false); }

    // `programDirWritable` stands in for the folder's permissions, which do not bind root; when
    // it is false the download goes to downloads_.
    std::unique_ptr<UpdateChecker> makeChecker(std::string noticeUrl, bool programDirWritable = true)
    {
        UiPost post = [this](std::function<void()> work) {
            {
                const std::lock_guard lock(mutex_);
                posted_.push_back(std::move(work));
            }
            released_.notify_all();
        };
        UpdateSettings settings{.noticeUrl = std::move(noticeUrl), .programDir = dir_.path()};
        settings.mayWriteIn = [this, programDirWritable](const std::filesystem::path& folder) {
            ++writableAsked_;
            return programDirWritable && folder == dir_.path();
        };
        settings.userDownloads = [this] { return downloads_.path(); };
        return std::make_unique<UpdateChecker>(UpdateServices{dialogs_, shell_, std::move(post)},
                                               std::move(settings));
    }

    void setNotice(const std::string& utf8, int status = 200)
    {
        const std::lock_guard lock(mutex_);
        notice_ = utf8ToGbk(utf8);
        noticeStatus_ = status;
    }

    std::string notice(const std::string& newest, const std::string& downloadUrl, const std::string& mode)
    {
        return "<p>////开始</p><p>下载方式=" + mode + "</p><p>最新版=" + newest +
               "</p><p>下载地址=" + downloadUrl +
               "</p><p>更新说明=修正</p><p>更快更新说明结束</p><p>////结束</p>";
    }

    void hold(bool on)
    {
        {
            const std::lock_guard lock(mutex_);
            holdNotice_ = on;
        }
        released_.notify_all();
    }

    // Plays the user-interface thread until the checker's threads have ended and everything
    // they posted has run (a download started from a posted function included).
    void settle(UpdateChecker& checker)
    {
        for (;;) {
            checker.waitForThreads();
            std::deque<std::function<void()>> ready;
            {
                const std::lock_guard lock(mutex_);
                ready.swap(posted_);
            }
            if (ready.empty())
                return;
            for (auto& work : ready)
                work();
        }
    }

    void checkAndSettle()
    {
        checker_->checkForUpdate("v2.0 beta1");
        settle(*checker_);
    }

    std::vector<platform::ScriptedDialogs::ShownBox> boxes() const { return dialogs_.shownBoxes(); }

    TempDir dir_;
    // The user's download folder.
    TempDir downloads_;
    std::atomic<int> writableAsked_{0};
    platform::ScriptedDialogs dialogs_;
    platform::RecordingShell shell_;
    std::mutex mutex_;
    std::condition_variable released_;
    std::deque<std::function<void()>> posted_; // guarded by mutex_
    std::string notice_;                       // guarded by mutex_
    int noticeStatus_ = 200;                   // guarded by mutex_
    bool holdNotice_ = false;                  // guarded by mutex_
    std::atomic<int> noticeRequests_{0};
    std::atomic<int> fileRequests_{0};
    LocalServer server_;
    std::unique_ptr<UpdateChecker> checker_;
};

TEST_F(UpdateCheckerTest, YesWithDownloadModeOpensTheBrowserAndSavesTheFile)
{
    const std::string downloadUrl = server_.url("/files/setup.exe");
    setNotice(notice("2.1", downloadUrl, "下载文件"));
    dialogs_.queueAnswer(BoxAnswer::Yes);
    checkAndSettle();

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].message, utf8ToGbk("当前版本：v2.0 beta1\r\n最新版本：2.1\r\n更新内容：\r\n修正更快"));
    EXPECT_EQ(shown[0].title, utf8ToGbk("是否下载最新版？"));
    EXPECT_EQ(shown[0].flags, 0x2004); // Yes/No, no icon, task-modal
    EXPECT_EQ(shown[1].message, utf8ToGbk("新版本已下载到：\r\n" + (dir_ / "setup.exe").string()));
    EXPECT_EQ(shown[1].title, "tips");
    EXPECT_EQ(shown[1].flags, 0x2000); // OK, no icon, task-modal
    EXPECT_EQ(shell_.opened(), std::vector<text::Text>{downloadUrl});
    EXPECT_EQ(TempDir::read(dir_ / "setup.exe"), kNewFile);
    EXPECT_EQ(checker_->downloadUrl(), downloadUrl);
    EXPECT_FALSE(checker_->checking());
}

TEST_F(UpdateCheckerTest, NoOrAnotherModeGoesNoFurther)
{
    const std::string downloadUrl = server_.url("/files/setup.exe");
    setNotice(notice("2.0", downloadUrl, "下载文件"));
    checkAndSettle(); // answered No
    setNotice(notice("2.1", downloadUrl, "打开网页"));
    dialogs_.queueAnswer(BoxAnswer::Yes);
    checkAndSettle();

    EXPECT_EQ(boxes().size(), 2u);
    EXPECT_TRUE(shell_.opened().empty());
    EXPECT_EQ(fileRequests_.load(), 0);
    EXPECT_EQ(entriesIn(dir_.path()), 0u);
    // The address of the newer version is kept all the same.
    EXPECT_EQ(checker_->downloadUrl(), downloadUrl);
}

TEST_F(UpdateCheckerTest, NothingNewerOrNoNoticeShowsNothing)
{
    const std::string downloadUrl = server_.url("/files/setup.exe");
    const struct
    {
        const char* what;
        std::string page;
        int status;
    } cases[] = {
        {"version 0", notice("0", downloadUrl, "下载文件"), 200},
        {"the version running", notice("V2.0 Beta1", downloadUrl, "下载文件"), 200},
        {"an older version with a leading letter", notice("v1.9", downloadUrl, "下载文件"), 200},
        {"no version at all", notice("即将发布", downloadUrl, "下载文件"), 200},
        {"no block", "<html><p>最新版=2.1</p></html>", 200},
        {"a newer notice on an error page", notice("2.1", downloadUrl, "下载文件"), 404},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setNotice(c.page, c.status);
        checkAndSettle();
    }
    EXPECT_EQ(noticeRequests_.load(), 6);

    // Nobody answering at the notice address.
    const std::unique_ptr<UpdateChecker> unreachable = makeChecker("http://127.0.0.1:1/notice");
    unreachable->checkForUpdate("v2.0 beta1");
    settle(*unreachable);

    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(checker_->downloadUrl().empty());
    EXPECT_EQ(fileRequests_.load(), 0);
}

TEST_F(UpdateCheckerTest, FailedDownloadsSaySoAndTouchNoFile)
{
    dir_.write("missing.exe", "the old version");
    const struct
    {
        const char* what;
        std::string downloadUrl;
        bool opened;
    } cases[] = {
        {"404", server_.url("/files/missing.exe"), true},
        {"no address in the notice", "", false},
        {"a name that leaves the directory", server_.url("/files/.."), true},
        {"not a web address", "file:///etc/passwd", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setNotice(notice("2.1", c.downloadUrl, "下载文件"));
        dialogs_.queueAnswer(BoxAnswer::Yes);
        const std::size_t before = boxes().size();
        const std::size_t openedBefore = shell_.opened().size();
        checkAndSettle();
        const auto shown = boxes();
        ASSERT_EQ(shown.size(), before + 2);
        EXPECT_EQ(shown.back().message, utf8ToGbk("下载失败"));
        EXPECT_EQ(shown.back().title, "tips");
        EXPECT_EQ(shown.back().flags, 16); // OK with the error icon
        EXPECT_EQ(shell_.opened().size(), openedBefore + (c.opened ? 1 : 0));
    }
    EXPECT_EQ(fileRequests_.load(), 1); // the 404 only
    EXPECT_EQ(TempDir::read(dir_ / "missing.exe"), "the old version");
    EXPECT_EQ(entriesIn(dir_.path()), 1u);
}

TEST_F(UpdateCheckerTest, AProgramFolderTheUserCannotWriteSendsTheFileToTheirDownloads)
{
    const std::unique_ptr<UpdateChecker> installed = makeChecker(server_.url("/notice"), false);
    setNotice(notice("2.1", server_.url("/files/setup.exe"), "下载文件"));
    dialogs_.queueAnswer(BoxAnswer::Yes);
    installed->checkForUpdate("v2.0 beta1");
    settle(*installed);

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].message, utf8ToGbk("新版本已下载到：\r\n" + (downloads_ / "setup.exe").string()));
    EXPECT_EQ(TempDir::read(downloads_ / "setup.exe"), kNewFile);
    EXPECT_EQ(entriesIn(dir_.path()), 0u);
    EXPECT_GE(writableAsked_.load(), 1);
}

TEST_F(UpdateCheckerTest, WithoutANoticeAddressNothingIsFetchedAndTheAskerHearsWhy)
{
    const std::unique_ptr<UpdateChecker> unconfigured = makeChecker("");
    // The silent check of start-up: nothing at all.
    unconfigured->checkForUpdate("v2.0 beta1");
    EXPECT_FALSE(unconfigured->checking());
    // The check a user asks for hears why before the call returns.
    std::optional<CheckResult> heard;
    unconfigured->checkForUpdate("v2.0 beta1", [&heard](const CheckResult& result) { heard = result; });
    ASSERT_TRUE(heard);
    EXPECT_EQ(*heard, (CheckResult{CheckResult::Found::Unreadable, CheckResult::Problem::NoAddress, 0}));
    EXPECT_FALSE(unconfigured->checking());
    settle(*unconfigured);
    EXPECT_EQ(noticeRequests_.load(), 0);
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(shell_.opened().empty());
}

TEST_F(UpdateCheckerTest, ASecondCheckWhileOneIsUnderWayIsNotStarted)
{
    setNotice(notice("2.1", server_.url("/files/setup.exe"), "打开网页"));
    hold(true);
    checker_->checkForUpdate("v2.0 beta1");
    EXPECT_TRUE(checker_->checking());
    checker_->checkForUpdate("v2.0 beta1");
    hold(false);
    settle(*checker_);
    EXPECT_EQ(noticeRequests_.load(), 1);
    EXPECT_EQ(boxes().size(), 1u);
    EXPECT_FALSE(checker_->checking());

    checkAndSettle();
    EXPECT_EQ(noticeRequests_.load(), 2);
    EXPECT_EQ(boxes().size(), 2u);
}

TEST_F(UpdateCheckerTest, ClosingDuringACheckEndsItQuietly)
{
    setNotice(notice("2.1", server_.url("/files/setup.exe"), "下载文件"));
    hold(true);
    checker_->checkForUpdate("v2.0 beta1");
    while (noticeRequests_.load() == 0)
        std::this_thread::sleep_for(1ms);
    const auto start = std::chrono::steady_clock::now();
    checker_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    hold(false);
    // Whatever was posted finds the checker gone and does nothing.
    std::deque<std::function<void()>> ready;
    {
        const std::lock_guard lock(mutex_);
        ready.swap(posted_);
    }
    for (auto& work : ready)
        work();
    EXPECT_TRUE(boxes().empty());
}

} // namespace
} // namespace tavrin::update
