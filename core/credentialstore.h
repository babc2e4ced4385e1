#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

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
} // namespace CredentialStore
