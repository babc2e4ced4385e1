#include "app/credentialstore.h"

#include <QDebug>
#include <QEventLoop>
#include <QJsonDocument>
#include <memory>
#include <qt5keychain/keychain.h>

namespace {

// Runs a job to completion in a local event loop. Returns true on success.
bool runJob(QKeychain::Job* job, const char* failPrefix)
{
    job->setAutoDelete(false);
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job->start();
    loop.exec();
    if (job->error() != QKeychain::NoError) {
        qWarning("%s%s", failPrefix, job->errorString().toLocal8Bit().constData());
        return false;
    }
    return true;
}

bool readRaw(const QString& key, QByteArray* out)
{
    auto job = std::make_unique<QKeychain::ReadPasswordJob>(QLatin1String(CredentialStore::kService));
    job->setKey(key);
    if (!runJob(job.get(), "Restoring failed: "))
        return false;
    *out = job->binaryData();
    return true;
}

} // namespace

namespace CredentialStore {

const char* const kService = "hovia.camera";

bool writeBytes(const QString& key, const QByteArray& bytes)
{
    auto job = std::make_unique<QKeychain::WritePasswordJob>(QLatin1String(kService));
    job->setKey(key);
    job->setBinaryData(bytes);
    return runJob(job.get(), "Storing failed: ");
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
    auto job = std::make_unique<QKeychain::DeletePasswordJob>(QLatin1String(kService));
    job->setKey(key);
    return runJob(job.get(), "delete failed: ");
}

} // namespace CredentialStore
