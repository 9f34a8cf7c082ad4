// Owning wrappers for libcurl's C handles, so every handle is released on every path.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace tavrin::net {

struct EasyDeleter
{
    void operator()(CURL* easy) const noexcept { curl_easy_cleanup(easy); }
};

struct MultiDeleter
{
    void operator()(CURLM* multi) const noexcept { curl_multi_cleanup(multi); }
};

struct ShareDeleter
{
    void operator()(CURLSH* share) const noexcept { curl_share_cleanup(share); }
};

struct SlistDeleter
{
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};

using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;
using MultiPtr = std::unique_ptr<CURLM, MultiDeleter>;
using SharePtr = std::unique_ptr<CURLSH, ShareDeleter>;
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

// Appends one line to a header list. curl copies the text. Returns false when curl could not
// allocate, in which case the list is left as it was.
[[nodiscard]] inline bool appendLine(SlistPtr& list, const char* line)
{
    curl_slist* grown = curl_slist_append(list.get(), line);
    if (!grown)
        return false;
    // curl appended to the list in place: `grown` owns the old nodes now.
    (void)list.release();
    list.reset(grown);
    return true;
}

} // namespace tavrin::net
