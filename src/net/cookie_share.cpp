#include "net/cookie_share.h"

#include "net/curl_global.h"
#include "net/curl_handles.h"

#include <array>
#include <mutex>

namespace tavrin::net {

namespace {

// One mutex per kind of shared data, so a cookie update does not wait for a DNS look-up.
class SharedCaches
{
public:
    SharedCaches()
    {
        if (!curlGlobalReady())
            return;
        share_.reset(curl_share_init());
        if (!share_)
            return;
        curl_share_setopt(share_.get(), CURLSHOPT_LOCKFUNC, &SharedCaches::lock);
        curl_share_setopt(share_.get(), CURLSHOPT_UNLOCKFUNC, &SharedCaches::unlock);
        curl_share_setopt(share_.get(), CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }

    [[nodiscard]] CURLSH* get() const noexcept { return share_.get(); }

private:
    std::mutex& mutexFor(curl_lock_data data) noexcept
    {
        const auto index = static_cast<std::size_t>(data);
        return mutexes_[index < mutexes_.size() ? index : 0];
    }

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self)
    {
        static_cast<SharedCaches*>(self)->mutexFor(data).lock();
    }

    static void unlock(CURL*, curl_lock_data data, void* self)
    {
        static_cast<SharedCaches*>(self)->mutexFor(data).unlock();
    }

    std::array<std::mutex, CURL_LOCK_DATA_LAST> mutexes_;
    SharePtr share_;
};

SharedCaches& sharedCaches()
{
    static SharedCaches caches;
    return caches;
}

} // namespace

CURLSH* programShare()
{
    return sharedCaches().get();
}

void clearCookies()
{
    CURLSH* share = programShare();
    if (!share)
        return;
    const EasyPtr easy(curl_easy_init());
    if (!easy)
        return;
    curl_easy_setopt(easy.get(), CURLOPT_SHARE, share);
    curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, "ALL");
}

} // namespace tavrin::net
