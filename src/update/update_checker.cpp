#include "update/update_checker.h"

#include "net/http_get_file.h"
#include "text/messages.h"
#include "update/program_version.h"

#include <utility>

namespace tavrin::update {

namespace box = platform::box;

UpdateChecker::UpdateChecker(UpdateServices services, UpdateSettings settings)
    : services_(std::move(services))
    , settings_(std::move(settings))
{}

UpdateChecker::~UpdateChecker()
{
    threads_.requestStop();
    threads_.waitAll();
}

void UpdateChecker::waitForThreads()
{
    threads_.waitAll();
}

void UpdateChecker::postHere(std::function<void()> work)
{
    services_.post([alive = std::weak_ptr<int>(alive_), work = std::move(work)] {
        if (!alive.expired())
            work();
    });
}

CheckResult judgeNotice(const net::GetFileResponse& page, const Text& currentVersion)
{
    using Problem = CheckResult::Problem;
    const auto unreadable = [&page](Problem problem) {
        return CheckResult{CheckResult::Found::Unreadable, problem, page.status};
    };
    if (page.status == 0)
        return unreadable(Problem::NoResponse);
    // An error page or a page cut short is no notice.
    if (page.status < 200 || page.status > 299)
        return unreadable(Problem::ErrorStatus);
    if (!page.complete)
        return unreadable(Problem::CutShort);
    const UpdateNotice notice = parseUpdateNotice(page.body);
    // A page without the block (a portal's login page, a moved article), or one whose version
    // cannot be read, is not a notice saying that nothing is newer.
    if (!readProgramVersion(notice.newest))
        return unreadable(Problem::NoVersion);
    if (isNewerVersion(notice.newest, currentVersion))
        return {CheckResult::Found::Newer, Problem::None, page.status};
    return {CheckResult::Found::NothingNewer, Problem::None, page.status};
}

std::filesystem::path downloadFolder(const UpdateSettings& settings)
{
    if (!settings.programDir.empty() && settings.mayWriteIn(settings.programDir))
        return settings.programDir;
    return settings.userDownloads();
}

void UpdateChecker::checkForUpdate(const Text& currentVersion, CheckReport report)
{
    if (settings_.noticeUrl.empty()) {
        if (report)
            report(CheckResult{CheckResult::Found::Unreadable, CheckResult::Problem::NoAddress, 0});
        return;
    }
    if (report)
        report_ = std::move(report);
    if (checking_)
        return;
    checking_ = true;
    threads_.start([this, currentVersion, url = settings_.noticeUrl](const std::stop_token& stop) {
        const net::GetFileResponse page = net::httpGetFileResponse(url, settings_.noticeTimeLimit, stop);
        const CheckResult result = judgeNotice(page, currentVersion);
        UpdateNotice notice;
        if (result.found == CheckResult::Found::Newer)
            notice = parseUpdateNotice(page.body);
        postHere([this, currentVersion, result, notice = std::move(notice)] {
            onNoticeFetched(currentVersion, result, notice);
        });
    });
}

void UpdateChecker::onNoticeFetched(const Text& currentVersion, const CheckResult& result,
                                    const UpdateNotice& notice)
{
    if (result.found == CheckResult::Found::Newer)
        offer(currentVersion, notice);
    checking_ = false;
    // After the question: whoever asked while it was open heard nothing else, and gets this.
    if (const CheckReport report = std::exchange(report_, {}))
        report(result);
}

void UpdateChecker::offer(const Text& currentVersion, const UpdateNotice& found)
{
    downloadUrl_ = found.downloadUrl;
    const platform::BoxAnswer answer = services_.dialogs.messageBox(
        updatePrompt(currentVersion, found), msg::update::kPromptTitle, box::kYesNo | box::kTaskModal);
    if (answer != platform::BoxAnswer::Yes || found.mode != notice::kModeDownloadFile)
        return;
    if (isWebAddress(downloadUrl_))
        services_.shell.openUrl(downloadUrl_);
    // The thread gets its own copy: a later check may change downloadUrl_ while it starts.
    threads_.start([this, url = downloadUrl_](const std::stop_token& stop) {
        const DownloadResult result =
            downloadUpdate(url, downloadFolder(settings_), stop, settings_.downloadTimeLimit);
        if (result.end != DownloadResult::End::Stopped)
            postHere([this, result] { onDownloadEnded(result); });
    });
}

void UpdateChecker::onDownloadEnded(const DownloadResult& result)
{
    if (result.end == DownloadResult::End::Saved)
        services_.dialogs.messageBox(msg::update::kDownloadedTo + result.shownPath,
                                     msg::update::kDownloadTitle, box::kOk | box::kTaskModal);
    else
        services_.dialogs.messageBox(msg::update::kDownloadFailed, msg::update::kDownloadTitle,
                                     box::kIconError);
}

} // namespace tavrin::update
