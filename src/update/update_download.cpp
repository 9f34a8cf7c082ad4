#include "update/update_download.h"

#include "base/file_io.h"
#include "base/utf8_path.h"
#include "net/http_get_file.h"
#include "text/encoding.h"

namespace tavrin::update {

namespace {

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text::asciiLower(text.substr(0, prefix.size())) == prefix;
}

// The name as the file system takes it (UTF-8), when it is a plain name inside a folder.
std::optional<std::string> diskName(const Text& name)
{
    const std::string onDisk = text::gbkToUtf8(name);
    if (onDisk.empty() || onDisk == "." || onDisk == ".." ||
        onDisk.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos)
        return std::nullopt;
    return onDisk;
}

} // namespace

std::optional<Text> downloadFileName(std::string_view downloadUrl)
{
    // "?" and "#" are ASCII below any GBK trail byte, so a plain byte search is character-safe.
    const std::string_view address = downloadUrl.substr(0, downloadUrl.find_first_of("?#"));
    const std::vector<Text> segments = text::split(address, "/");
    if (segments.empty())
        return std::nullopt;
    const Text& name = segments.back();
    if (name.empty() || name == "." || name == ".." || text::find(name, "\\") != -1 ||
        name.find('\0') != Text::npos || !diskName(name))
        return std::nullopt;
    return name;
}

bool isWebAddress(std::string_view url)
{
    return startsWithIgnoringCase(url, "http://") || startsWithIgnoringCase(url, "https://");
}

DownloadResult downloadUpdate(std::string_view downloadUrl, const std::filesystem::path& folder,
                              const std::stop_token& stop, std::chrono::seconds timeLimit)
{
    DownloadResult result;
    const std::optional<Text> name = downloadFileName(downloadUrl);
    // Anything but http and https (a file: address, or a cut-off value without a scheme that
    // curl would guess a host for) is no download.
    if (!name || !isWebAddress(downloadUrl) || folder.empty())
        return result;
    const std::filesystem::path target = folder / *diskName(*name);

    const net::GetFileResponse response = net::httpGetFileResponse(downloadUrl, timeLimit, stop);
    if (stop.stop_requested()) {
        result.end = DownloadResult::End::Stopped;
        return result;
    }
    if (!response.succeeded())
        return result;
    if (!base::writeFileAtomically(target, response.body, base::TargetLink::Replace).empty())
        return result;
    result.end = DownloadResult::End::Saved;
    std::filesystem::path shown = target;
    result.shownPath = text::utf8ToGbk(base::utf8FromPath(shown.make_preferred()));
    return result;
}

} // namespace tavrin::update
