#include "core/jsonreader.h"

#include <QJsonArray>
#include <QSet>
#include <QString>
#include <QVector>

namespace {

// The member name of a string token (quotes included) as the parser would
// read it; a null string when the token is not a valid JSON string.
QString memberName(const char* token, int len)
{
    bool plain = true;
    for (int i = 1; i < len - 1; ++i) {
        const auto c = static_cast<unsigned char>(token[i]);
        if (c == '\\' || c >= 0x80 || c < 0x20) {
            plain = false;
            break;
        }
    }
    if (plain)
        return QString::fromLatin1(token + 1, len - 2);
    // Escapes and multi-byte text: let the parser itself decode the name.
    const QByteArray wrapped = '[' + QByteArray(token, len) + ']';
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(wrapped, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isArray())
        return QString();
    return doc.array().at(0).toString();
}

} // namespace

int JsonReader::duplicateMember(const QByteArray& text, QString* name)
{
    const char* p = text.constData();
    const int n = text.size();
    // One entry per open container: the names seen so far when it is an
    // object, or no entry's use when it is an array.
    struct Level
    {
        bool object;
        QSet<QString> names;
    };
    QVector<Level> levels;
    for (int i = 0; i < n; ++i) {
        const char c = p[i];
        if (c == '{' || c == '[') {
            levels.append(Level{c == '{', {}});
        } else if (c == '}' || c == ']') {
            if (!levels.isEmpty())
                levels.removeLast();
        } else if (c == '"') {
            int end = i + 1;
            while (end < n && p[end] != '"')
                end += p[end] == '\\' ? 2 : 1;
            if (end >= n)
                return -1; // unterminated: the parser reports it
            int next = end + 1;
            while (next < n && (p[next] == ' ' || p[next] == '\t' || p[next] == '\n' || p[next] == '\r'))
                ++next;
            if (next < n && p[next] == ':' && !levels.isEmpty() && levels.last().object) {
                const QString key = memberName(p + i, end + 1 - i);
                if (!key.isNull()) {
                    QSet<QString>& seen = levels.last().names;
                    if (seen.contains(key)) {
                        if (name)
                            *name = key;
                        return i;
                    }
                    seen.insert(key);
                }
            }
            i = end;
        }
    }
    return -1;
}

QJsonDocument JsonReader::parse(const QByteArray& text, QJsonParseError* error)
{
    QString name;
    const int at = duplicateMember(text, &name);
    if (at >= 0) {
        qWarning("json refused, member \"%s\" given twice at offset %d", qUtf8Printable(name.left(64)), at);
        if (error) {
            error->offset = at;
            error->error = QJsonParseError::IllegalValue;
        }
        return QJsonDocument();
    }
    return QJsonDocument::fromJson(text, error);
}
