// downloadUpdate: fetches the new version and saves it in a folder.
#pragma once

#include "text/gbk_text.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string_view>

namespace tavrin::update {

using text::Text;

// Far above what an installer needs on a slow line (64 MiB, the most a download may bring, at
// 75 KB/s); the real bound on a stalled download is the user closing the program.
inline constexpr std::chrono::seconds kDownloadTimeLimit{15 * 60};

// The name the download is saved under (GBK): the last "/" segment of the address once its
// query and fragment are cut off; an empty segment after a final "/" does not count, so
// "http://host/dir/" gives "dir". Nothing for an empty address or a name that could leave the
// folder or name the folder itself: empty, ".", "..", or holding "\" or a NUL.
[[nodiscard]] std::optional<Text> downloadFileName(std::string_view downloadUrl);

// True for an address the browser may be asked to open: http:// or https://, in any letter
// case. Anything else in a notice (a file: or javascript: address, say) is not handed on.
[[nodiscard]] bool isWebAddress(std::string_view url);

struct DownloadResult
{
    enum class End
    {
        Saved,   // the file is in place
        Failed,  // nothing was written; an existing file of that name is untouched
        Stopped, // the program asked the download to stop; nothing was written
    };
    End end = End::Failed;
    // Saved only: the full path of the file, as the user is told it (GBK).
    Text shownPath;
};

// Fetches `downloadUrl` (http or https only) and saves the body in `folder` under
// downloadFileName(). Only a complete response with a 2xx status counts: an error page, a body
// cut short and no response at all are failures. The bytes go to a temporary file beside the
// target, which is renamed over it once complete, so an existing file is replaced whole or not
// at all; a symbolic link of that name is replaced, never written through. Blocks for the whole
// download (a thread of its own); `stop` cancels it.
[[nodiscard]] DownloadResult downloadUpdate(std::string_view downloadUrl, const std::filesystem::path& folder,
                                            const std::stop_token& stop = {},
                                            std::chrono::seconds timeLimit = kDownloadTimeLimit);

} // namespace tavrin::update
