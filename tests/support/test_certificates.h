// Certificates made at test time for local TLS servers, so no private key is ever stored in
// the tree: a test authority, a server certificate it signs for 127.0.0.1 and localhost, and
// a self-signed certificate that nobody trusts.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace tavrin::testing_support {

struct X509Deleter
{
    void operator()(X509* certificate) const noexcept { X509_free(certificate); }
};
struct KeyDeleter
{
    void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
using CertificatePtr = std::unique_ptr<X509, X509Deleter>;
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyDeleter>;

struct KeyAndCertificate
{
    KeyPtr key;
    CertificatePtr certificate;
};

struct TestCertificates
{
    KeyAndCertificate authority;
    // Signed by the authority, valid for IP 127.0.0.1 and DNS localhost.
    KeyAndCertificate server;
    // Self-signed, for 127.0.0.1 too, but by nobody the client trusts.
    KeyAndCertificate untrusted;
    // The authority's certificate as PEM, for the client to trust.
    std::string authorityPem;
};

// Made once per process (key generation is the slow part) and shared by every test.
[[nodiscard]] const TestCertificates& testCertificates();

} // namespace tavrin::testing_support
