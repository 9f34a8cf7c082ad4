#include "support/test_certificates.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace tavrin::testing_support {

namespace {

void check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(std::string("making the test certificates failed: ") + what);
}

KeyPtr makeKey()
{
    // P-256 keys are made in microseconds, unlike RSA keys.
    KeyPtr key(EVP_EC_gen("P-256"));
    check(key != nullptr, "key");
    return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    check(extension != nullptr, "extension");
    check(X509_add_ext(certificate, extension, -1) == 1, "add extension");
    X509_EXTENSION_free(extension);
}

// A certificate for `key` named `commonName`, signed by `issuerKey` as `issuer` (itself when
// both are null).
CertificatePtr makeCertificate(EVP_PKEY* key, const char* commonName, bool authority, X509* issuer,
                               EVP_PKEY* issuerKey, long serial)
{
    CertificatePtr certificate(X509_new());
    check(certificate != nullptr, "certificate");
    X509* cert = certificate.get();
    check(X509_set_version(cert, 2) == 1, "version");
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7L * 24 * 3600);
    check(X509_set_pubkey(cert, key) == 1, "public key");
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Tavrin tests"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                               -1, -1, 0);
    X509* signer = issuer ? issuer : cert;
    check(X509_set_issuer_name(cert, X509_get_subject_name(signer)) == 1, "issuer");
    if (authority) {
        addExtension(cert, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert, signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert, signer, NID_key_usage, "critical,digitalSignature");
        addExtension(cert, signer, NID_ext_key_usage, "serverAuth");
        addExtension(cert, signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    }
    addExtension(cert, signer, NID_subject_key_identifier, "hash");
    check(X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256()) > 0, "sign");
    return certificate;
}

std::string toPem(X509* certificate)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    check(bio && PEM_write_bio_X509(bio.get(), certificate) == 1, "PEM");
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

TestCertificates make()
{
    TestCertificates made;
    made.authority.key = makeKey();
    made.authority.certificate =
        makeCertificate(made.authority.key.get(), "Tavrin test authority", true, nullptr, nullptr, 1);
    made.server.key = makeKey();
    made.server.certificate = makeCertificate(made.server.key.get(), "127.0.0.1", false,
                                              made.authority.certificate.get(), made.authority.key.get(), 2);
    made.untrusted.key = makeKey();
    made.untrusted.certificate =
        makeCertificate(made.untrusted.key.get(), "127.0.0.1", false, nullptr, nullptr, 3);
    made.authorityPem = toPem(made.authority.certificate.get());
    return made;
}

} // namespace

const TestCertificates& testCertificates()
{
    static const TestCertificates certificates = make();
    return certificates;
}

} // namespace tavrin::testing_support
