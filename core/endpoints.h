#pragma once

#include <QJsonObject>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

// The one place that knows where the remote services live: the account
// service (sign-in page, service login, logout), the account API (user card),
// the home cloud API and its cookie domain, the update and statistics
// services, the P2P directory, and an optional extra CA certificate to trust
// beside the system store.
//
// Read from the JSON file named on the command line (--endpoints) or by
// VUCAMERA_ENDPOINTS, by default <temp dir>/vucamera-sim/endpoints.json,
// which the local emulator writes.
// Missing entries keep defaults that point at the local emulator. A file (or
// extra CA) that is a symbolic link, belongs to another user or can be
// written by others is not used: the defaults (the system store) apply.
class Endpoints
{
public:
    Endpoints();

    QString account;        // "https://host:port", no trailing slash
    QString accountApi;     // "http://host:port"
    QString homeApi;        // "https://host:port"
    QString cookieDomain;   // domain of the home API cookies
    QString update;         // "http://host:port"
    QString stats;          // "http://host:port"
    QString caCertFile;     // PEM file of an extra CA, or empty
    QString p2pDirectory;   // "host:port" for the P2P library

    // Host (and port, when not the scheme's default) of the account service,
    // as it appears after "//" in a URL.
    QString accountAuthority() const;

    static Endpoints fromJson(const QJsonObject& o);
    QJsonObject toJson() const;

    // The file set by setFilePath(), else the one named by VUCAMERA_ENDPOINTS,
    // else the default path.
    static QString defaultFilePath();
    // The program's command line names the file (empty: back to the
    // environment); the next current() reads it.
    static void setFilePath(const QString& path);
    // Reads a file; a missing or malformed file logs a warning and gives the
    // defaults (ok set to false when given).
    static Endpoints load(const QString& path, bool* ok = nullptr);

    // The process-wide endpoints: loaded from defaultFilePath() on first use,
    // replaceable (tests, tools). Thread-safe; returns a copy.
    static Endpoints current();
    static void setCurrent(const Endpoints& e);
    static void reload();

    // TLS settings for every HTTPS request of the program: the system CA
    // store plus the configured extra CA. Certificate errors are never
    // ignored.
    static QSslConfiguration sslConfiguration();
    // The same for a request to url: the extra CA is trusted only for the
    // hosts of the configured services; any other host (an avatar address
    // taken from a reply, say) is checked against the system store alone.
    static QSslConfiguration sslConfigurationFor(const QUrl& url);
};
