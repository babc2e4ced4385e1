#include "app/credentialstore.h"

#include <QDebug>
#include <QEventLoop>
#include <QJsonDocument>
#include <functional>
#include <qt5keychain/keychain.h>

namespace {

// Runs a job in a local event loop until it finishes, then deletes it.
// When the loop is left before that (the application is quitting: every
// event loop ends at once), the job is left to finish and delete itself and
// the call fails; the keychain's late answer must not reach a deleted job.
bool runJob(QKeychain::Job* job, const char* failPrefix,
            const std::function<void(QKeychain::Job*)>& onDone = nullptr)
{
    job->setAutoDelete(false);
    bool done = false;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&done, &loop]() {
        done = true;
        loop.quit();
    });
    job->start();
    if (!done)
        loop.exec();
    if (!done) {
        qWarning("%sthe keychain did not answer before the program quit", failPrefix);
        QObject::connect(job, &QKeychain::Job::finished, job, &QObject::deleteLater);
        return false;
    }
    const bool ok = job->error() == QKeychain::NoError;
    if (!ok)
        qWarning("%s%s", failPrefix, job->errorString().toLocal8Bit().constData());
    else if (onDone)
        onDone(job);
    delete job;
    return ok;
}

bool readRaw(const QString& key, QByteArray* out)
{
    auto* job = new QKeychain::ReadPasswordJob(QLatin1String(CredentialStore::kService));
    job->setKey(key);
    return runJob(job, "Restoring failed: ", [out](QKeychain::Job* j) {
        *out = static_cast<QKeychain::ReadPasswordJob*>(j)->binaryData();
    });
}

} // namespace

namespace CredentialStore {

const char* const kService = "hovia.camera";

bool writeBytes(const QString& key, const QByteArray& bytes)
{
    auto* job = new QKeychain::WritePasswordJob(QLatin1String(kService));
    job->setKey(key);
    job->setBinaryData(bytes);
    return runJob(job, "Storing failed: ");
}

bool writeString(const QString& key, const QString& text) { return writeBytes(key, text.toUtf8()); }
bool writeBool(const QString& key, bool b) { return writeBytes(key, b ? "true" : "false"); }
bool writeInt(const QString& key, int n) { return writeBytes(key, QByteArray::number(n)); }

bool writeJson(const QString& key, const QJsonObject& object)
{
    return writeBytes(key, QJsonDocument(object).toJson(QJsonDocument::Indented));
}

QByteArray readBytes(const QString& key)
{
    QByteArray data;
    return readRaw(key, &data) ? data : QByteArray();
}

QString readString(const QString& key, const QString& def)
{
    QByteArray data;
    return readRaw(key, &data) ? QString::fromUtf8(data) : def;
}

bool readBool(const QString& key, bool def)
{
    return readString(key, def ? QStringLiteral("true") : QStringLiteral("false")) == QLatin1String("true");
}

int readInt(const QString& key, int def)
{
    return readString(key, QString::number(def)).toInt();
}

QJsonObject readJson(const QString& key)
{
    QByteArray data;
    if (!readRaw(key, &data))
        return QJsonObject();
    return QJsonDocument::fromJson(data).object();
}

bool remove(const QString& key)
{
    auto* job = new QKeychain::DeletePasswordJob(QLatin1String(kService));
    job->setKey(key);
    return runJob(job, "delete failed: ");
}

} // namespace CredentialStore
