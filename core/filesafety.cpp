#include "core/filesafety.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool ownedSafely(const struct stat& st)
{
    return (st.st_uid == ::geteuid() || st.st_uid == 0) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

namespace FileSafety {

bool makePrivateDir(const QString& path)
{
    if (path.isEmpty())
        return false;
    if (!QDir().mkpath(path))
        return false;
    const QByteArray p = QFile::encodeName(path);
    struct stat st{};
    if (::lstat(p.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (st.st_uid != ::geteuid() || (st.st_mode & S_ISVTX))
        return false; // not ours, or a shared folder such as /tmp: never narrow it
    if ((st.st_mode & 0777) == 0700)
        return true;
    return ::chmod(p.constData(), 0700) == 0;
}

bool makePrivateFile(const QString& path)
{
    const QByteArray p = QFile::encodeName(path);
    struct stat st{};
    if (p.isEmpty() || ::lstat(p.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if ((st.st_mode & 0777) == 0600)
        return true;
    return ::chmod(p.constData(), 0600) == 0;
}

bool isTrustedConfigFile(const QString& path, QString* reason)
{
    auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("no file name"));
    const QByteArray p = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    struct stat st{};
    if (::lstat(p.constData(), &st) != 0)
        return fail(QStringLiteral("missing"));
    if (!S_ISREG(st.st_mode))
        return fail(QStringLiteral("not a regular file"));
    if (!ownedSafely(st))
        return fail(QStringLiteral("owned by another user or writable by others"));
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    struct stat dst{};
    if (::lstat(dir.constData(), &dst) != 0 || !S_ISDIR(dst.st_mode))
        return fail(QStringLiteral("its folder is not a plain folder"));
    if (!ownedSafely(dst))
        return fail(QStringLiteral("its folder is owned by another user or writable by others"));
    return true;
}

QString fileNamePart(QString text)
{
    for (QChar& ch : text) {
        if (!ch.isLetterOrNumber() && ch != QLatin1Char('-') && ch != QLatin1Char('_'))
            ch = QLatin1Char('_');
    }
    return text;
}

} // namespace FileSafety
