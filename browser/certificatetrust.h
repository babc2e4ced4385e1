#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QStringList>

#include <mutex>

// Which certificate errors the embedded browser may override: only an
// "unknown authority" error for one of the configured hosts, and only when
// the presented chain really verifies up to the one configured extra CA
// (signature checked, not just a certificate that looks like the CA appended
// to the chain). Everything else is refused. Thread-safe.
class CertificateTrust
{
public:
    // PEM file of the extra CA; an empty path or a missing file trusts nothing
    // (a file without a certificate also logs a warning).
    bool setCaFile(const QString& pemPath);
    void setCaCertificate(const QSslCertificate& ca);
    // Host names (case-insensitive) for which the extra CA is accepted.
    void setHosts(const QStringList& hosts);
    QStringList hosts() const;

    // chain: leaf first, as presented by the browser engine.
    bool accept(const QString& host, const QList<QSslCertificate>& chain, bool authorityInvalidOnly) const;

private:
    mutable std::mutex m_mutex;
    QSslCertificate m_ca;
    QStringList m_hosts;
};
