#include "core/appinfo.h"

#include "core/datapaths.h"
#include "core/filesafety.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QDebug>

AppInfo* AppInfo::instance()
{
    static AppInfo info(DataPaths::settingsFile(), DataPaths::legacySettingsFile());
    return &info;
}

AppInfo::AppInfo(const QString& settingsFile, const QString& legacySettingsFile)
    : m_file(settingsFile), m_legacyFile(legacySettingsFile)
{
}

bool AppInfo::load()
{
    const QString dir = QFileInfo(m_file).absolutePath();
    // A folder made here is the program's own: only its user may look in.
    if (!QDir(dir).exists())
        FileSafety::makePrivateDir(dir);

    if (!QFile::exists(m_file) && !m_legacyFile.isEmpty() && QFile::exists(m_legacyFile))
        QFile::copy(m_legacyFile, m_file);
    if (QFile::exists(m_file))
        FileSafety::makePrivateFile(m_file);

    QByteArray data;
    QFile f(m_file);
    if (f.open(QIODevice::ReadOnly))
        data = f.readAll();

    m_doc = QJsonDocument::fromJson(data);
    if (m_doc.isNull() || !m_doc.isObject()) {
        m_root = QJsonObject();
        return false;
    }
    m_root = m_doc.object();
    return true;
}

bool AppInfo::save()
{
    m_doc = QJsonDocument(m_root);
    const QByteArray data = m_doc.toJson();
    // Written beside the file and renamed over it only when every byte is on
    // disk: a full disk or a crash halfway leaves the old settings whole.
    QSaveFile f(m_file);
    if (!f.open(QIODevice::WriteOnly)) {
        qWarning().noquote() << "cannot open appinfo:" << f.errorString();
        return false;
    }
    // Owner only, before anything is written (a new file starts with the umask's mode).
    if (!f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        qWarning().noquote() << "cannot restrict appinfo:" << f.errorString();
    // Flushed on its own: a failure at the final flush is not reported by commit().
    if (f.write(data) != data.size() || !f.flush() || !f.commit()) {
        qWarning().noquote() << "cannot write appinfo, the previous settings are kept:" << f.errorString();
        f.cancelWriting();
        return false;
    }
    return true;
}

QJsonValue AppInfo::find(const QString& group, const QString& key) const
{
    if (group.isEmpty())
        return m_root.value(key);
    const auto g = m_root.constFind(group);
    if (g == m_root.constEnd())
        return QJsonValue(QJsonValue::Undefined);
    return g->toObject().value(key);
}

bool AppInfo::getBool(const QString& group, const QString& key, bool def) const
{
    const QJsonValue v = find(group, key);
    return v.isUndefined() ? def : v.toBool(def);
}

int AppInfo::getInt(const QString& group, const QString& key, int def) const
{
    const QJsonValue v = find(group, key);
    return v.isUndefined() ? def : v.toInt(def);
}

QString AppInfo::getString(const QString& group, const QString& key, const QString& def) const
{
    const QJsonValue v = find(group, key);
    return v.isUndefined() ? def : v.toString(def);
}

QJsonObject AppInfo::getObject(const QString& key) const
{
    return m_root.value(key).toObject();
}

void AppInfo::setValue(const QString& group, const QString& key, const QJsonValue& value)
{
    if (group.isEmpty()) {
        m_root.insert(key, value);
    } else {
        QJsonObject g = m_root.value(group).toObject();
        g.insert(key, value);
        m_root.insert(group, g);
    }
    save();
}

void AppInfo::setBool(const QString& group, const QString& key, bool b) { setValue(group, key, b); }
void AppInfo::setInt(const QString& group, const QString& key, int n) { setValue(group, key, n); }
void AppInfo::setString(const QString& group, const QString& key, const QString& s) { setValue(group, key, s); }

void AppInfo::setObject(const QString& key, const QJsonObject& obj)
{
    m_root.insert(key, obj);
    save();
}
