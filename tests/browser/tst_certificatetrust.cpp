#include "browser/certificatetrust.h"
#include "testcerts.h"

#include <QTemporaryDir>
#include <QtTest>

class TstCertificateTrust : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_ca = makeCert("Test CA", nullptr, nullptr, 1);
        m_otherCa = makeCert("Other CA", nullptr, nullptr, 2);
        m_leaf = makeCert("localhost", m_ca.get(), "DNS:localhost,IP:127.0.0.1", 3);
        m_foreignLeaf = makeCert("localhost", m_otherCa.get(), "DNS:localhost,IP:127.0.0.1", 4);
    }

    void acceptsOnlyConfiguredHostAndCa()
    {
        CertificateTrust trust;
        trust.setCaCertificate(m_ca->qt());
        trust.setHosts({QStringLiteral("LocalHost"), QStringLiteral("127.0.0.1")});
        QVERIFY(trust.accept(QStringLiteral("localhost"), {m_leaf->qt()}, true));
        QVERIFY(trust.accept(QStringLiteral("127.0.0.1"), {m_leaf->qt(), m_ca->qt()}, true));
        // Host that is not configured.
        QVERIFY(!trust.accept(QStringLiteral("example.org"), {m_leaf->qt()}, true));
        // Errors other than an unknown authority are never overridden.
        QVERIFY(!trust.accept(QStringLiteral("localhost"), {m_leaf->qt()}, false));
        // Signed by another CA, even with our CA appended to look like its root.
        QVERIFY(!trust.accept(QStringLiteral("localhost"), {m_foreignLeaf->qt()}, true));
        QVERIFY(!trust.accept(QStringLiteral("localhost"), {m_foreignLeaf->qt(), m_ca->qt()}, true));
        QVERIFY(!trust.accept(QStringLiteral("localhost"), {}, true));
    }

    void certificateForAnotherNameIsRefused()
    {
        auto other = makeCert("other.test", m_ca.get(), "DNS:other.test", 5);
        CertificateTrust trust;
        trust.setCaCertificate(m_ca->qt());
        trust.setHosts({QStringLiteral("localhost")});
        QVERIFY(!trust.accept(QStringLiteral("localhost"), {other->qt()}, true));
    }

    void caFromFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ca.pem"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(m_ca->pem());
        f.close();
        CertificateTrust trust;
        trust.setHosts({QStringLiteral("localhost")});
        QVERIFY(trust.setCaFile(path));
        QVERIFY(trust.accept(QStringLiteral("localhost"), {m_leaf->qt()}, true));

        QVERIFY(!trust.setCaFile(dir.filePath(QStringLiteral("missing.pem"))));
        QVERIFY(!trust.accept(QStringLiteral("localhost"), {m_leaf->qt()}, true));
        QVERIFY(trust.setCaFile(path));
        QFile bad(dir.filePath(QStringLiteral("bad.pem")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a certificate");
        bad.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("extra CA .* is not readable")));
        QVERIFY(!trust.setCaFile(bad.fileName()));
        QVERIFY(!trust.accept(QStringLiteral("localhost"), {m_leaf->qt()}, true));
        QVERIFY(!trust.setCaFile(QString()));

        // A CA file that others may write (or swap) is not trusted: whoever
        // wrote it could stand in for the sign-in page.
        QVERIFY(trust.setCaFile(path));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                                | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("extra CA .* is not trusted")));
        QVERIFY(!trust.setCaFile(path));
        QVERIFY(!trust.accept(QStringLiteral("localhost"), {m_leaf->qt()}, true));
    }

private:
    std::unique_ptr<TestCert> m_ca, m_otherCa, m_leaf, m_foreignLeaf;
};

QTEST_GUILESS_MAIN(TstCertificateTrust)
#include "tst_certificatetrust.moc"
