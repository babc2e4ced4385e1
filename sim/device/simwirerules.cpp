#include "sim/device/simwirerules.h"

#include <QStringList>
#include <QVector>

namespace {

struct Member
{
    QByteArray name;
    QByteArray value; // the integer's digits, or the string's text
    bool isString = false;
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A flat JSON object written compactly: {"a":1,"b":"x"} with names of
// [a-z_] and values that are integers (no leading zeros, no sign but "-") or
// strings without escapes. False, with the reason, for anything else.
bool parseCompact(const QByteArray& text, QVector<Member>* members, QString* why)
{
    int i = 0;
    const int n = text.size();
    auto fail = [why](const QString& reason) {
        *why = reason;
        return false;
    };
    // White space is the usual way a hand-made or pretty-printed payload
    // goes wrong: name it wherever it stands between the tokens.
    auto spaceAt = [&](int at) { return at < n && isSpace(text.at(at)); };
    const QString spaced = QStringLiteral("white space in the JSON (it must be compact)");
    if (spaceAt(0))
        return fail(spaced);
    if (n == 0 || text.at(0) != '{')
        return fail(QStringLiteral("not a JSON object"));
    ++i;
    if (i < n && text.at(i) == '}')
        return fail(QStringLiteral("an empty object"));
    while (i < n) {
        Member m;
        if (spaceAt(i))
            return fail(spaced);
        if (text.at(i) != '"')
            return fail(QStringLiteral("a member name must follow '{' or ',' directly"));
        ++i;
        while (i < n && text.at(i) != '"') {
            const char c = text.at(i);
            if (!((c >= 'a' && c <= 'z') || c == '_'))
                return fail(QStringLiteral("a member name with a character other than a-z or '_'"));
            m.name += c;
            ++i;
        }
        if (i >= n || m.name.isEmpty())
            return fail(QStringLiteral("an unterminated or empty member name"));
        ++i;
        if (spaceAt(i))
            return fail(spaced);
        if (i >= n || text.at(i) != ':')
            return fail(QStringLiteral("':' must follow a member name directly"));
        ++i;
        if (spaceAt(i))
            return fail(spaced);
        if (i < n && text.at(i) == '"') {
            m.isString = true;
            ++i;
            while (i < n && text.at(i) != '"') {
                if (text.at(i) == '\\' || uchar(text.at(i)) < 0x20)
                    return fail(QStringLiteral("an escape or control character in a string"));
                m.value += text.at(i++);
            }
            if (i >= n)
                return fail(QStringLiteral("an unterminated string"));
            ++i;
        } else {
            const int start = i;
            if (i < n && text.at(i) == '-')
                ++i;
            const int digits = i;
            while (i < n && text.at(i) >= '0' && text.at(i) <= '9')
                ++i;
            if (i == digits || (i < n && (text.at(i) == '.' || text.at(i) == 'e' || text.at(i) == 'E')))
                return fail(QStringLiteral("a value that is not a JSON integer"));
            if (i - digits > 1 && text.at(digits) == '0')
                return fail(QStringLiteral("an integer with a leading zero"));
            m.value = text.mid(start, i - start);
        }
        if (!members->isEmpty() && members->last().name >= m.name)
            return fail(QStringLiteral("members not in ascending order of their names (\"%1\" after \"%2\")")
                            .arg(QString::fromLatin1(m.name), QString::fromLatin1(members->last().name)));
        members->append(m);
        if (spaceAt(i))
            return fail(spaced);
        if (i >= n)
            return fail(QStringLiteral("an object without its closing '}'"));
        if (text.at(i) == '}') {
            if (i + 1 == n)
                return true;
            if (text.at(i + 1) == '\0')
                return fail(QStringLiteral("a terminating NUL after the object"));
            return fail(spaceAt(i + 1) ? spaced : QStringLiteral("bytes after the object"));
        }
        if (text.at(i) != ',')
            return fail(QStringLiteral("',' or '}' must follow a value directly"));
        ++i;
    }
    return fail(QStringLiteral("an object without its closing '}'"));
}

// The members' names, in order, must be exactly `names`; every value an
// integer. Their values go to *values.
QString integerMembers(const QByteArray& payload, const QList<QByteArray>& names, QList<qint64>* values)
{
    QVector<Member> members;
    QString why;
    if (!parseCompact(payload, &members, &why))
        return why;
    QList<QByteArray> got;
    for (const Member& m : members)
        got << m.name;
    if (got != names) {
        QStringList want;
        for (const QByteArray& n : names)
            want << QString::fromLatin1(n);
        return QStringLiteral("the members must be exactly %1").arg(want.join(QLatin1Char(',')));
    }
    for (const Member& m : members) {
        bool ok = false;
        const qint64 v = m.value.toLongLong(&ok);
        if (m.isString || !ok)
            return QStringLiteral("\"%1\" must be a JSON integer").arg(QString::fromLatin1(m.name));
        values->append(v);
    }
    return QString();
}

bool isEightZeros(const QByteArray& payload)
{
    return payload == QByteArray(8, '\0');
}

QString eightZeros(const QByteArray& payload)
{
    return isEightZeros(payload) ? QString() : QStringLiteral("the payload must be exactly 8 zero bytes");
}

bool isHex(const QByteArray& text, int length)
{
    if (text.size() != length)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

} // namespace

QString SimWireRules::checkIoCtrl(unsigned int type, const QByteArray& payload)
{
    QList<qint64> v;
    QString why;
    switch (type) {
    case 0x1FF: // play, or back to live
        if (isEightZeros(payload))
            return QString();
        if (!payload.startsWith('{') && !payload.startsWith(' '))
            return QStringLiteral("the payload must be exactly 8 zero bytes or a JSON object");
        why = integerMembers(payload, {"enableaudio", "videoquality"}, &v);
        if (why.isEmpty() && v.at(0) != 0 && v.at(0) != 1)
            why = QStringLiteral("\"enableaudio\" must be 0 or 1");
        if (why.isEmpty() && v.at(1) < 0)
            why = QStringLiteral("\"videoquality\" must not be negative");
        return why;
    case 0x200: // memory card channel open
    case 0x201: // and release
        why = integerMembers(payload, {"channel"}, &v);
        if (why.isEmpty() && (v.at(0) < 0 || v.at(0) > 31))
            why = QStringLiteral("\"channel\" must be a channel of the session (0-31)");
        return why;
    case 0x2FF: // disconnect
    case 0x300: // audio on
    case 0x301: // audio off
        return eightZeros(payload);
    case 0x320: // quality
        why = integerMembers(payload, {"videoquality"}, &v);
        if (why.isEmpty() && v.at(0) < 0)
            why = QStringLiteral("\"videoquality\" must not be negative");
        return why;
    case 0xF001: // playback
        why = integerMembers(payload, {"autoswitchtolive", "endtime", "offset", "sessionid", "starttime"}, &v);
        if (!why.isEmpty())
            return why;
        if (v.at(0) != (v.at(1) == 0 ? 1 : 0))
            return QStringLiteral("\"autoswitchtolive\" must be 1 exactly when \"endtime\" is 0");
        if (v.at(3) != v.at(4))
            return QStringLiteral("\"sessionid\" must equal \"starttime\"");
        return QString();
    case 0xF005: // pan/tilt
        why = integerMembers(payload, {"operation"}, &v);
        if (why.isEmpty() && (v.at(0) < 1 || v.at(0) > 4))
            why = QStringLiteral("\"operation\" must be 1 to 4");
        return why;
    default:
        return QString();
    }
}

bool SimWireRules::covers(unsigned int type)
{
    switch (type) {
    case 0x1FF: case 0x200: case 0x201: case 0x2FF: case 0x300: case 0x301: case 0x320: case 0xF001: case 0xF005:
        return true;
    default:
        return false;
    }
}

QString SimWireRules::checkTimelineRequest(const QByteArray& request)
{
    if (request == QByteArray::fromRawData("\x06\0\0\0", 4))
        return QString();
    return QStringLiteral("the timeline request must be exactly the 4-byte little-endian value 6");
}

QString SimWireRules::checkViewAccount(const QByteArray& account)
{
    if (account == "admin")
        return QString();
    QVector<Member> members;
    QString why;
    if (!parseCompact(account, &members, &why))
        return QStringLiteral("a view account other than \"admin\" must be compact JSON: ") + why;
    if (members.size() != 3 || members.at(0).name != "account" || members.at(1).name != "public_key"
        || members.at(2).name != "sign")
        return QStringLiteral("the members must be exactly account,public_key,sign");
    for (const Member& m : members)
        if (!m.isString)
            return QStringLiteral("every member of the view account must be a JSON string");
    if (members.at(0).value != "admin")
        return QStringLiteral("\"account\" must be \"admin\"");
    if (!isHex(members.at(1).value, 64))
        return QStringLiteral("\"public_key\" must be 64 lower-case hex digits");
    if (!isHex(members.at(2).value, 128))
        return QStringLiteral("\"sign\" must be 128 lower-case hex digits");
    return QString();
}
