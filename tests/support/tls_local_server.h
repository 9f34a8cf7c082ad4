// An HTTPS server of the test's own on 127.0.0.1 (local_server.h), with a certificate made at test
// time (test_certificates.h). Linux only: the Windows build has no OpenSSL.
#pragma once

#include "support/local_server.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

namespace tavrin::testing_support {

class TlsLocalServer : public LocalServer
{
public:
    // The server takes its own references to the certificate and key.
    TlsLocalServer(X509* certificate, EVP_PKEY* key)
        : LocalServer(std::make_unique<WideBacklog<httplib::SSLServer>>(certificate, key), "https")
    {}
};

} // namespace tavrin::testing_support
