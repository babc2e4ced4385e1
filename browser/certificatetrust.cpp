#include "browser/certificatetrust.h"

#include "core/filesafety.h"

#include <QDebug>
#include <QFile>
#include <QHostAddress>

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>
#include <mutex>

namespace {

struct X509Free { void operator()(X509* x) const { X509_free(x); } };
struct StoreFree { void operator()(X509_STORE* s) const { X509_STORE_free(s); } };
struct CtxFree { void operator()(X509_STORE_CTX* c) const { X509_STORE_CTX_free(c); } };
struct StackFree { void operator()(STACK_OF(X509)* s) const { sk_X509_pop_free(s, X509_free); } };

X509* toX509(const QSslCertificate& cert)
{
    const QByteArray der = cert.toDer();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.constData());
    return d2i_X509(nullptr, &p, der.size());
}

} // namespace

bool CertificateTrust::setCaFile(const QString& pemPath)
{
    QSslCertificate ca;
    QString why;
    if (!pemPath.isEmpty() && QFile::exists(pemPath) && !FileSafety::isTrustedConfigFile(pemPath, &why)) {
        // Another local user could have put this CA there: trusting it would
        // let them stand in for the sign-in page.
        qWarning("browser: extra CA %s is not trusted (%s), no extra CA trusted", qUtf8Printable(pemPath),
                 qUtf8Printable(why));
    } else if (!pemPath.isEmpty() && QFile::exists(pemPath)) {
        QFile f(pemPath);
        if (f.open(QIODevice::ReadOnly)) {
            const auto certs = QSslCertificate::fromData(f.readAll(), QSsl::Pem);
            if (!certs.isEmpty())
                ca = certs.first();
        }
        if (ca.isNull())
            qWarning("browser: extra CA %s is not readable, no extra CA trusted", qUtf8Printable(pemPath));
    }
    setCaCertificate(ca);
    return !ca.isNull();
}

void CertificateTrust::setCaCertificate(const QSslCertificate& ca)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ca = ca;
}

void CertificateTrust::setHosts(const QStringList& hosts)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hosts.clear();
    for (const QString& h : hosts) {
        if (!h.isEmpty())
            m_hosts << h.toLower();
    }
}

QStringList CertificateTrust::hosts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hosts;
}

bool CertificateTrust::accept(const QString& host, const QList<QSslCertificate>& chain,
                              bool authorityInvalidOnly) const
{
    QSslCertificate ca;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_ca.isNull() || !m_hosts.contains(host.toLower()))
            return false;
        ca = m_ca;
    }
    // Name mismatch, expiry, revocation and the like are never overridden.
    if (!authorityInvalidOnly || chain.isEmpty())
        return false;

    std::unique_ptr<X509, X509Free> root(toX509(ca));
    std::unique_ptr<X509, X509Free> leaf(toX509(chain.first()));
    if (!root || !leaf)
        return false;
    std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
    std::unique_ptr<STACK_OF(X509), StackFree> untrusted(sk_X509_new_null());
    std::unique_ptr<X509_STORE_CTX, CtxFree> ctx(X509_STORE_CTX_new());
    if (!store || !untrusted || !ctx || X509_STORE_add_cert(store.get(), root.get()) != 1)
        return false;
    for (int i = 1; i < chain.size(); ++i) {
        if (X509* x = toX509(chain.at(i)))
            sk_X509_push(untrusted.get(), x);
    }
    if (X509_STORE_CTX_init(ctx.get(), store.get(), leaf.get(), untrusted.get()) != 1)
        return false;
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx.get());
    const QByteArray hostBytes = host.toUtf8();
    // The engine has checked the name already; checking it again here keeps a
    // certificate of the CA for another name from being accepted.
    if (!QHostAddress(host).isNull())
        X509_VERIFY_PARAM_set1_ip_asc(param, hostBytes.constData());
    else
        X509_VERIFY_PARAM_set1_host(param, hostBytes.constData(), static_cast<size_t>(hostBytes.size()));
    return X509_verify_cert(ctx.get()) == 1;
}
