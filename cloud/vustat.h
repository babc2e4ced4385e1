#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QMap>
#include <QObject>
#include <QString>

// Usage statistics: each report is a small JSON document, encrypted with a
// per-machine key, hex-encoded and sent as one signed GET. Fire and forget.
// First use must come from one thread (the GUI thread).
class VuStat : public QObject
{
    Q_OBJECT
public:
    // Issued by the statistics service.
    static const char* const kAppId;    // 19 decimal digits
    static const char* const kAppKey;   // 13 decimal digits
    static const char* const kSalt;     // 33 printable characters

    // Process-wide values.
    static QString clientId();
    static QByteArray reportKey();       // 16 upper-case hex characters
    static QString version();

    // Building blocks, public for tests and the emulator's checks.
    static QJsonDocument actionReport(const QString& name, qint64 nowMs);
    static QJsonDocument errorReport(const QString& name, int code, qint64 nowMs);
    static QJsonDocument aliveReport(qint64 nowMs);
    static QByteArray encrypt(const QByteArray& plain, const QByteArray& key);
    static QString sign(const QMap<QString, QString>& items);
    static QMap<QString, QString> uploadItems(const QString& statValue);

    static void upload(const QString& statValue);

    // The reports of the callers (same as the free functions below).
    static void reportAction(const QString& name);
    static void reportError(const QString& name, int code);
    static void reportAlive();
    // Process-wide: the program sets its own version once at start-up.
    static void setVersion(const QString& version);

private slots:
    void onPostFinished();

private:
    explicit VuStat(QObject* parent);
};

void reportAction(const QString& name);
void reportError(const QString& name, int code);
void reportAlive();
void setVersion(const QString& version);
