// UpdateChecker: the check of the update notice, the question to the user and the download,
// run from start-up, 按钮5 "检查更新" and the menu 检查升级 alike.
//
// Threads: every method is called on the user-interface thread, and the dialogs and the shell
// are used there only. The fetch of the notice and the download run on threads of their own
// (so the window never waits for the network); each hands its result back through the
// front end's `post`, which runs a function on the user-interface thread later.
#pragma once

#include "base/thread_group.h"
#include "net/http_get_file.h"
#include "platform/desktop.h"
#include "platform/download_folder.h"
#include "update/update_download.h"
#include "update/update_notice.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

namespace tavrin::update {

// Runs a function on the user-interface thread, after the caller has returned. Callable from
// any thread. A function posted after the checker is gone must be dropped or must find it
// gone; the checker guards its own functions against the second case.
using UiPost = std::function<void(std::function<void()>)>;

struct UpdateServices
{
    platform::Dialogs& dialogs;
    platform::Shell& shell;
    UiPost post;
};

struct UpdateSettings
{
    // The update-notice page; empty when this build has none, and then no check is made.
    Text noticeUrl;
    // The folder of the program file, where the download is saved when the user may write there.
    std::filesystem::path programDir;
    std::chrono::seconds noticeTimeLimit = net::kGetFileTimeLimit;
    std::chrono::seconds downloadTimeLimit = kDownloadTimeLimit;
    // Whether the user may write into a folder (tests stand in for file permissions, which do not
    // bind root).
    std::function<bool(const std::filesystem::path&)> mayWriteIn = platform::mayWriteInFolder;
    // Where the download goes when the program's folder is not writable: the user's download
    // folder. Called on the download's thread.
    std::function<std::filesystem::path()> userDownloads = [] { return platform::userDownloadFolder(); };
};

// The folder a download is saved in: the program's own when the user may write there (a copy
// unpacked into the user's files), else the user's download folder (an installed program).
[[nodiscard]] std::filesystem::path downloadFolder(const UpdateSettings& settings);

// What a check found, for a front end that tells the user (the silent check at start-up asks
// for nothing).
struct CheckResult
{
    enum class Found
    {
        // The notice names a newer version, and the user was asked about it.
        Newer,
        // The notice was read and names no newer version.
        NothingNewer,
        // The notice could not be read; `problem` says why.
        Unreadable,
    };
    // Why a notice could not be read.
    enum class Problem
    {
        None,
        // No response within the time limit (no connection, no such host, a timeout).
        NoResponse,
        // The server answered with a status other than 2xx; `status` holds it.
        ErrorStatus,
        // The page arrived cut short.
        CutShort,
        // The notice's block names no version, or something that is no version.
        NoVersion,
        // No notice address is configured: nothing was fetched.
        NoAddress,
    };

    Found found = Found::NothingNewer;
    Problem problem = Problem::None;
    int status = 0;

    friend bool operator==(const CheckResult&, const CheckResult&) = default;
};

// How a fetched notice page reads against the version running.
[[nodiscard]] CheckResult judgeNotice(const net::GetFileResponse& page, const Text& currentVersion);

// Receives a check's result on the user-interface thread.
using CheckReport = std::function<void(const CheckResult&)>;

class UpdateChecker
{
public:
    UpdateChecker(UpdateServices services, UpdateSettings settings);
    // Stops the threads still running (a download in progress leaves nothing behind) and
    // waits for them.
    ~UpdateChecker();
    UpdateChecker(const UpdateChecker&) = delete;
    UpdateChecker& operator=(const UpdateChecker&) = delete;

    // Starts a check and returns at once. When the notice names a version newer than
    // `currentVersion`, the user is asked whether to download it; with a Yes and the mode
    // "下载文件" the address is opened in the browser and downloaded into downloadFolder().
    // Nothing is shown when there is nothing newer or the notice cannot be fetched;
    // `report`, when given, hears what was found once the check ends (after the question).
    // Without a notice address nothing is fetched, and `report` hears so before this returns.
    // While a check is under way (fetching, or its question open) a second one is not
    // started: it would only ask the same question twice. Its `report` is kept for the check
    // under way instead, so a user who asks while the start-up check still runs hears its end.
    void checkForUpdate(const Text& currentVersion, CheckReport report = {});

    // The download address of the last check that found a newer version.
    [[nodiscard]] const Text& downloadUrl() const { return downloadUrl_; }
    // A check is fetching the notice or waiting for the user's answer.
    [[nodiscard]] bool checking() const { return checking_; }
    // Waits until the threads started so far have ended (their results may still be posted).
    void waitForThreads();

private:
    // User-interface thread: what a finished fetch found.
    void onNoticeFetched(const Text& currentVersion, const CheckResult& result, const UpdateNotice& notice);
    void offer(const Text& currentVersion, const UpdateNotice& found);
    void onDownloadEnded(const DownloadResult& result);
    // Posts `work` so that it runs only while this checker exists.
    void postHere(std::function<void()> work);

    UpdateServices services_;
    const UpdateSettings settings_;
    Text downloadUrl_;
    bool checking_ = false;
    // Who hears the end of the check under way; user-interface thread.
    CheckReport report_;
    // Expires with the checker; posted functions test it on the user-interface thread, where
    // the checker is also destroyed, so the test cannot race with the destruction.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    // Last, so its threads are stopped and joined before anything they use goes away.
    base::ThreadGroup threads_;
};

} // namespace tavrin::update
