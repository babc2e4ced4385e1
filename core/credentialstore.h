#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class AppInfo;

// Named secrets in the operating system's protected storage (the Secret
// Service here), under service "hovia.camera". Every call blocks in a local
// event loop until the keychain job finishes.
namespace CredentialStore {
extern const char* const kService;

bool writeBytes(const QString& key, const QByteArray& bytes);
bool writeString(const QString& key, const QString& text);
bool writeBool(const QString& key, bool b);
bool writeInt(const QString& key, int n);
bool writeJson(const QString& key, const QJsonObject& object);

QByteArray readBytes(const QString& key);
QString readString(const QString& key, const QString& def);
bool readBool(const QString& key, bool def);
int readInt(const QString& key, int def);
QJsonObject readJson(const QString& key);

bool remove(const QString& key);

// Removes a secret for good. When the store refuses (a locked keyring), the
// key is noted in the settings for removePending() at the next start, and
// the result is false.
bool forget(const QString& key, AppInfo& settings);
// Removes what forget() could not remove earlier.
void removePending(AppInfo& settings);
// The key holds a new secret: it is no longer to be removed.
void keep(const QString& key, AppInfo& settings);
} // namespace CredentialStore
