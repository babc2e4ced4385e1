#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <mutex>

// What the emulated cameras refused because the client broke a rule of the
// wire (see SimWireRules): one list per emulator, filled from the cameras'
// session threads, read by tests and the control interface.
struct SimViolation
{
    QString did;
    QString message; // "ioctrl 0x1FF", "rdt timeline request", "login"
    QByteArray payload;
    QString rule;
};

class SimViolations
{
public:
    // Records a violation and logs it as the camera's refusal.
    void record(const QString& did, const QString& message, const QByteArray& payload, const QString& rule);
    QList<SimViolation> list() const;
    // The list, emptied.
    QList<SimViolation> take();
    // [{"did","message","payload" (hex),"rule"}...]
    QJsonArray toJson() const;
    static QJsonArray toJson(const QList<SimViolation>& list);

private:
    mutable std::mutex m_mutex;
    QList<SimViolation> m_list;
};
