#pragma once

#include <QString>

// Permission helpers for the per-user files that may hold private data (the
// log, the settings, crash dumps) and the trust check for files the program
// takes its configuration from (the endpoints file, an extra CA).
namespace FileSafety {

// Creates the folder (with missing parents) and makes it 0700 when it is the
// user's own. False when it cannot be created or tightened.
bool makePrivateDir(const QString& path);

// Makes an existing file 0600. False when the file is missing or cannot be
// changed.
bool makePrivateFile(const QString& path);

// Whether a configuration file may be trusted: a regular file (not a
// symbolic link) owned by the user running the program (or by root), not
// writable by group or others, in a folder with the same properties (a
// shared sticky folder such as /tmp itself is not accepted as the direct
// parent). On false, *reason says why.
bool isTrustedConfigFile(const QString& path, QString* reason = nullptr);

// A text (a device id) made fit to be part of a file name: every character
// other than a letter, a digit, '-' and '_' becomes '_' (no separators, no
// dots).
QString fileNamePart(QString text);

} // namespace FileSafety
