#include "core/credentialstore.h"

#include "core/appinfo.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QJsonDocument>
#include <memory>
#include <qt5keychain/keychain.h>

namespace {

// Runs a job to completion in a local event loop. Returns true on success.
// The loop can also be ended from outside: QCoreApplication::exit() (a quit
// requested while the store is being asked) ends every running loop. The job
// is then still waiting for the store; deleting it would let the store's
// answer land on a deleted object, so it is handed over to delete itself
// when that answer comes, the call fails, and the quit is passed on.
bool runJob(std::unique_ptr<QKeychain::Job>& job, const char* failPrefix)
{
    job->setAutoDelete(false);
    bool finished = false;
    QEventLoop loop;
    QObject::connect(job.get(), &QKeychain::Job::finished, &loop, [&finished, &loop] {
        finished = true;
        loop.quit();
    });
    job->start();
    if (!finished)
        loop.exec();
    if (!finished) {
        QObject::disconnect(job.get(), nullptr, &loop, nullptr);
        job.release()->setAutoDelete(true);
        qWarning("%sinterrupted before the store answered", failPrefix);
        // The exit that ended this loop must not be lost: a loop started
        // after it (the main loop, at start-up) would run on forever.
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
        return false;
    }
    if (job->error() != QKeychain::NoError) {
        qWarning("%s%s", failPrefix, job->errorString().toLocal8Bit().constData());
        return false;
    }
    return true;
}

bool readRaw(const QString& key, QByteArray* out)
{
    std::unique_ptr<QKeychain::Job> job =
        std::make_unique<QKeychain::ReadPasswordJob>(QLatin1String(CredentialStore::kService));
    static_cast<QKeychain::ReadPasswordJob*>(job.get())->setKey(key);
    if (!runJob(job, "Restoring failed: "))
        return false;
    *out = static_cast<QKeychain::ReadPasswordJob*>(job.get())->binaryData();
    return true;
}

} // namespace

namespace CredentialStore {

const char* const kService = "hovia.camera";

bool writeBytes(const QString& key, const QByteArray& bytes)
{
    auto write = std::make_unique<QKeychain::WritePasswordJob>(QLatin1String(kService));
    write->setKey(key);
    write->setBinaryData(bytes);
    std::unique_ptr<QKeychain::Job> job(write.release());
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
    auto del = std::make_unique<QKeychain::DeletePasswordJob>(QLatin1String(kService));
    del->setKey(key);
    std::unique_ptr<QKeychain::Job> job(del.release());
    return runJob(job, "delete failed: ");
}

namespace {
const QString kPending = QStringLiteral("credential_removals");

void setPending(const QString& key, bool pending, AppInfo& settings)
{
    QJsonObject keys = settings.getObject(kPending);
    if (keys.contains(key) == pending)
        return;
    if (pending)
        keys.insert(key, true);
    else
        keys.remove(key);
    settings.setObject(kPending, keys);
}
} // namespace

bool forget(const QString& key, AppInfo& settings)
{
    if (remove(key)) {
        setPending(key, false, settings);
        return true;
    }
    qWarning("the stored %s could not be removed; it is removed at the next start", qPrintable(key));
    setPending(key, true, settings);
    return false;
}

void removePending(AppInfo& settings)
{
    const QJsonObject keys = settings.getObject(kPending);
    for (auto it = keys.constBegin(); it != keys.constEnd(); ++it) {
        if (remove(it.key()))
            setPending(it.key(), false, settings);
    }
}

void keep(const QString& key, AppInfo& settings)
{
    setPending(key, false, settings);
}

} // namespace CredentialStore
