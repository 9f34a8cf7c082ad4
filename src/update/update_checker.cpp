#include "update/update_checker.h"

#include "net/http_get_file.h"
#include "text/messages.h"

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

void UpdateChecker::checkForUpdate(const Text& currentVersion)
{
    if (checking_)
        return;
    checking_ = true;
    threads_.start([this, currentVersion, url = settings_.noticeUrl](const std::stop_token& stop) {
        const net::GetFileResponse page = net::httpGetFileResponse(url, settings_.noticeTimeLimit, stop);
        std::optional<UpdateNotice> newer;
        // An error page or a page cut short is no notice.
        if (page.succeeded()) {
            UpdateNotice notice = parseUpdateNotice(page.body);
            if (isNewerVersion(notice.newest, currentVersion))
                newer = std::move(notice);
        }
        postHere(
            [this, currentVersion, newer = std::move(newer)] { onNoticeFetched(currentVersion, newer); });
    });
}

void UpdateChecker::onNoticeFetched(const Text& currentVersion, const std::optional<UpdateNotice>& newer)
{
    if (newer)
        offer(currentVersion, *newer);
    checking_ = false;
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
            downloadUpdate(url, settings_.programDir, stop, settings_.downloadTimeLimit);
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
