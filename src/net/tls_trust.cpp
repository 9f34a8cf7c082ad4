#include "net/tls_trust.h"

#include <mutex>

namespace tavrin::net {

namespace {

std::mutex trustMutex;
std::shared_ptr<const std::string> trustedPem; // guarded by trustMutex

} // namespace

void setTrustedCertificates(std::string pem)
{
    auto value = pem.empty() ? nullptr : std::make_shared<const std::string>(std::move(pem));
    const std::lock_guard lock(trustMutex);
    trustedPem = std::move(value);
}

std::shared_ptr<const std::string> trustedCertificates()
{
    const std::lock_guard lock(trustMutex);
    return trustedPem;
}

} // namespace tavrin::net
