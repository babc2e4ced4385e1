#pragma once

// Test certificates made in memory: a CA and leaf certificates it signs.

#include <QByteArray>
#include <QSslCertificate>
#include <QStringList>

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

struct TestCert
{
    X509* cert = nullptr;
    EVP_PKEY* key = nullptr;
    ~TestCert()
    {
        X509_free(cert);
        EVP_PKEY_free(key);
    }
    QSslCertificate qt() const
    {
        unsigned char* der = nullptr;
        const int n = i2d_X509(cert, &der);
        QSslCertificate c(QByteArray(reinterpret_cast<char*>(der), n), QSsl::Der);
        OPENSSL_free(der);
        return c;
    }
    QByteArray pem() const { return qt().toPem(); }
};

inline void addExt(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

// issuer null: a self-signed CA. sans: e.g. "DNS:localhost,IP:127.0.0.1".
inline std::unique_ptr<TestCert> makeCert(const char* cn, const TestCert* issuer, const char* sans, long serial)
{
    auto t = std::make_unique<TestCert>();
    t->key = EVP_RSA_gen(2048);
    t->cert = X509_new();
    X509_set_version(t->cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(t->cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(t->cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(t->cert), 3600L * 24 * 30);
    X509_set_pubkey(t->cert, t->key);
    X509_NAME* name = X509_get_subject_name(t->cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn), -1, -1, 0);
    X509* issuerCert = issuer ? issuer->cert : t->cert;
    X509_set_issuer_name(t->cert, X509_get_subject_name(issuerCert));
    if (!issuer) {
        addExt(t->cert, issuerCert, NID_basic_constraints, "critical,CA:TRUE");
        addExt(t->cert, issuerCert, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExt(t->cert, issuerCert, NID_basic_constraints, "CA:FALSE");
        addExt(t->cert, issuerCert, NID_ext_key_usage, "serverAuth");
    }
    addExt(t->cert, issuerCert, NID_subject_key_identifier, "hash");
    if (sans)
        addExt(t->cert, issuerCert, NID_subject_alt_name, sans);
    X509_sign(t->cert, issuer ? issuer->key : t->key, EVP_sha256());
    return t;
}
