#include "sim/cloud/simcertificates.h"

#include <QDir>
#include <QFile>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sodium.h>

namespace {

bool addExt(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
    return true;
}

X509* makeCert(EVP_PKEY* key, const char* cn, X509* issuer, EVP_PKEY* issuerKey, bool ca)
{
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    unsigned char serial[8];
    randombytes_buf(serial, sizeof serial);
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 60L * 60 * 24 * 825);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("VuCamera emulator"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn), -1, -1, 0);
    X509* iss = issuer ? issuer : cert;
    X509_set_issuer_name(cert, X509_get_subject_name(iss));
    bool ok = true;
    if (ca) {
        ok = ok && addExt(cert, iss, NID_basic_constraints, "critical,CA:TRUE");
        ok = ok && addExt(cert, iss, NID_key_usage, "critical,keyCertSign,cRLSign");
        ok = ok && addExt(cert, iss, NID_subject_key_identifier, "hash");
    } else {
        ok = ok && addExt(cert, iss, NID_basic_constraints, "critical,CA:FALSE");
        ok = ok && addExt(cert, iss, NID_key_usage, "critical,digitalSignature,keyEncipherment");
        ok = ok && addExt(cert, iss, NID_ext_key_usage, "serverAuth");
        ok = ok && addExt(cert, iss, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
        ok = ok && addExt(cert, iss, NID_authority_key_identifier, "keyid:always");
    }
    if (!ok || !X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256())) {
        X509_free(cert);
        return nullptr;
    }
    return cert;
}

template <typename T, typename F>
T* readPem(const QString& path, F reader)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray pem = f.readAll();
    BIO* bio = BIO_new_mem_buf(pem.constData(), pem.size());
    T* out = reader(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return out;
}

bool writeFile(const QString& path, BIO* bio)
{
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = f.write(data, n) == n;
    f.setPermissions(path.endsWith(QLatin1String(".key")) ? (QFile::ReadOwner | QFile::WriteOwner)
                                                           : (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    return ok;
}

bool writeCert(const QString& path, X509* cert)
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert);
    const bool ok = writeFile(path, bio);
    BIO_free(bio);
    return ok;
}

bool writeKey(const QString& path, EVP_PKEY* key)
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    const bool ok = writeFile(path, bio);
    BIO_free(bio);
    return ok;
}

} // namespace

SimCertificates::~SimCertificates()
{
    X509_free(m_caCert);
    EVP_PKEY_free(m_caKey);
    X509_free(m_serverCert);
    EVP_PKEY_free(m_serverKey);
}

bool SimCertificates::prepare(const QString& dir, QString* error)
{
    if (sodium_init() < 0) {
        if (error)
            *error = QStringLiteral("libsodium could not be initialised");
        return false;
    }
    m_dir = dir;
    if (!QDir().mkpath(dir)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    if (load())
        return true;
    return generate(error);
}

bool SimCertificates::load()
{
    m_caCert = readPem<X509>(m_dir + QStringLiteral("/ca.pem"), PEM_read_bio_X509);
    m_caKey = readPem<EVP_PKEY>(m_dir + QStringLiteral("/ca.key"), PEM_read_bio_PrivateKey);
    m_serverCert = readPem<X509>(m_dir + QStringLiteral("/server.pem"), PEM_read_bio_X509);
    m_serverKey = readPem<EVP_PKEY>(m_dir + QStringLiteral("/server.key"), PEM_read_bio_PrivateKey);
    bool ok = m_caCert && m_caKey && m_serverCert && m_serverKey;
    if (ok) {
        // The pair must still belong together and be in date.
        ok = X509_check_private_key(m_serverCert, m_serverKey) == 1
            && X509_cmp_current_time(X509_get0_notAfter(m_serverCert)) > 0
            && X509_verify(m_serverCert, X509_get0_pubkey(m_caCert)) == 1;
    }
    if (!ok) {
        X509_free(m_caCert);
        EVP_PKEY_free(m_caKey);
        X509_free(m_serverCert);
        EVP_PKEY_free(m_serverKey);
        m_caCert = m_serverCert = nullptr;
        m_caKey = m_serverKey = nullptr;
    }
    return ok;
}

bool SimCertificates::generate(QString* error)
{
    m_caKey = EVP_RSA_gen(2048);
    m_serverKey = EVP_RSA_gen(2048);
    if (m_caKey && m_serverKey) {
        m_caCert = makeCert(m_caKey, "VuCamera emulator CA", nullptr, nullptr, true);
        if (m_caCert)
            m_serverCert = makeCert(m_serverKey, "127.0.0.1", m_caCert, m_caKey, false);
    }
    if (!m_serverCert) {
        if (error)
            *error = QStringLiteral("certificate generation failed");
        return false;
    }
    const bool ok = writeKey(m_dir + QStringLiteral("/ca.key"), m_caKey)
        && writeKey(m_dir + QStringLiteral("/server.key"), m_serverKey)
        && writeCert(m_dir + QStringLiteral("/server.pem"), m_serverCert)
        && writeCert(m_dir + QStringLiteral("/ca.pem"), m_caCert);
    if (!ok && error)
        *error = QStringLiteral("cannot write certificates to %1").arg(m_dir);
    return ok;
}
