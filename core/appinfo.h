#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

// The settings file: one JSON object of groups, each group an object of keys.
// Read once at start, rewritten whole on every change. Never holds secrets.
class AppInfo
{
public:
    // The process-wide instance on the standard settings file.
    static AppInfo* instance();

    // An instance on explicit files (tests, tools).
    AppInfo(const QString& settingsFile, const QString& legacySettingsFile);

    bool load();
    // Replaces the file whole, or keeps the old one with a warning (false).
    bool save();

    bool getBool(const QString& group, const QString& key, bool def) const;
    int getInt(const QString& group, const QString& key, int def) const;
    QString getString(const QString& group, const QString& key, const QString& def) const;
    QJsonObject getObject(const QString& key) const;

    void setBool(const QString& group, const QString& key, bool b);
    void setInt(const QString& group, const QString& key, int n);
    void setString(const QString& group, const QString& key, const QString& s);
    void setObject(const QString& key, const QJsonObject& obj);

    QString filePath() const { return m_file; }

private:
    QJsonValue find(const QString& group, const QString& key) const;
    void setValue(const QString& group, const QString& key, const QJsonValue& value);

    QString m_file;
    QString m_legacyFile;
    QJsonDocument m_doc;
    QJsonObject m_root;
};
