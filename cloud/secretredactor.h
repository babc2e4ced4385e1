#pragma once

#include <QByteArray>
#include <QString>

// Takes secrets out of text before it is logged: the values of JSON members,
// cookies and query items with a secret name (passwords, tokens, ssecurity,
// keys) and every secret value registered at run time (service tokens,
// ssecurity, pass tokens, device passwords). Thread-safe.
class SecretRedactor
{
public:
    static constexpr const char* kMask = "***";

    // Text with every secret replaced by "***".
    static QString redact(const QString& text);
    static QByteArray redact(const QByteArray& text);

    // Remembers a value that must never be logged (values shorter than four
    // characters are ignored: too short to mask without mangling the text).
    static void addSecret(const QString& value);
    // Drops every remembered value (tests and fuzzing, which register
    // thousands of throw-away values).
    static void forgetSecrets();
};
