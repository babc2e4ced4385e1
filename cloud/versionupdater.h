#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVersionNumber>
#include <functional>

class AppInfo;
class QNetworkAccessManager;

// How to offer a newer version; the main window prompts at start-up only for
// PromptAtStart.
enum PromptPolicy { PromptNever = 0, PromptManual = 1, PromptAtStart = 2 };

// Knows the program's own version and the newest published one with its
// download address and prompt policy. The published data is fetched at most
// about once per "settings"/"update_days" and kept in the settings group
// "updater", so the decision at start-up uses stored values only.
class VersionUpdater : public QObject
{
    Q_OBJECT
public:
    // info and manager default to the process-wide settings and network
    // manager.
    explicit VersionUpdater(QObject* parent = nullptr, AppInfo* info = nullptr,
                            QNetworkAccessManager* manager = nullptr);

    void check();

    QVersionNumber currentVersion() const { return m_currentVersion; }
    QVersionNumber netVersion() const { return m_netVersion; }
    int policy() const { return m_policy; }
    QString url() const { return m_url; }
    QDateTime checkTime() const { return m_checkTime; }
    bool hasNewVersion() const { return !m_netVersion.isNull() && m_netVersion > m_currentVersion; }

    // The download address when it is an http or https URL; otherwise a
    // warning and an empty URL. Only this one may be handed to the desktop.
    QUrl safeDownloadUrl() const;
    // Hands the safe download address to opener (the UI passes the desktop's
    // URL opener); false when there is none or the opener fails.
    bool openDownloadUrl(const std::function<bool(const QUrl&)>& opener) const;

    // The program's own version (three segments) from the build.
    static QVersionNumber ownVersion();

    // What a usable answer of the update service publishes.
    struct Published
    {
        QVersionNumber version; // three segments
        int policy = PromptManual;
        QString url;
    };
    // Parses the update service's answer; false (out untouched) when it is
    // not in the expected form. A policy outside 0..2 logs a warning and
    // becomes PromptManual.
    static bool parseReply(const QByteArray& body, Published& out);

signals:
    void onNetVersionGot(QVersionNumber version, PromptPolicy policy);

private slots:
    void onCheckVersionFinished();

private:
    void query();

    QVersionNumber m_currentVersion;
    QVersionNumber m_netVersion;
    QString m_url;
    QDateTime m_checkTime;
    int m_policy = PromptManual;
    AppInfo* m_info;
    QNetworkAccessManager* m_manager;
};

Q_DECLARE_METATYPE(PromptPolicy)
