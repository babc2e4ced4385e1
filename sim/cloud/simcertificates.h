#pragma once

#include <QString>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

// A private CA and a server certificate it signed (SAN IP:127.0.0.1 and
// DNS:localhost), made at first start into a folder and reused afterwards:
// "ca.pem", "ca.key", "server.pem", "server.key".
class SimCertificates
{
public:
    SimCertificates() = default;
    ~SimCertificates();
    SimCertificates(const SimCertificates&) = delete;
    SimCertificates& operator=(const SimCertificates&) = delete;

    // Loads the files from dir, or generates and writes them.
    bool prepare(const QString& dir, QString* error = nullptr);

    QString caFile() const { return m_dir + QStringLiteral("/ca.pem"); }
    X509* serverCert() const { return m_serverCert; }
    EVP_PKEY* serverKey() const { return m_serverKey; }

private:
    bool load();
    bool generate(QString* error);

    QString m_dir;
    X509* m_caCert = nullptr;
    EVP_PKEY* m_caKey = nullptr;
    X509* m_serverCert = nullptr;
    EVP_PKEY* m_serverKey = nullptr;
};
