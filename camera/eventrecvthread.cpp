#include "camera/eventrecvthread.h"

#include "core/threadjoin.h"
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"

#include <QElapsedTimer>

EventRecvthread::EventRecvthread(int avIndex, const Receiver& receiver, QObject* parent)
    : QThread(parent)
    , m_avIndex(avIndex)
    , m_receiver(receiver)
{
    setObjectName(QStringLiteral("ioctrl-events"));
    ThreadJoin::watch(this);
}

EventRecvthread::~EventRecvthread()
{
    stop();
    ThreadJoin::wait(this); // orders the loop's work before the members go
}

void EventRecvthread::stop()
{
    exit(0);
    requestInterruption();
}

bool EventRecvthread::isChannelGone(int result)
{
    return result == AV_ER_SESSION_CLOSE_BY_REMOTE || result == AV_ER_REMOTE_TIMEOUT_DISCONNECT
        || result == AV_ER_CLIENT_EXIT || result == IOTC_ER_INVALID_SID || result == AV_ER_INVALID_ARG;
}

void EventRecvthread::run()
{
    int backoff = 0;
    int lastError = 0;
    int repeats = 0;
    while (!isInterruptionRequested()) {
        const int r = doReceive();
        if (isInterruptionRequested())
            break;
        if (r >= 0 || r == AV_ER_TIMEOUT) {
            if (repeats > 1)
                qWarning("%d recv io control failed:%d (%d times)", m_avIndex, lastError, repeats);
            backoff = 0;
            lastError = 0;
            repeats = 0;
            continue;
        }
        if (isChannelGone(r)) {
            qWarning("%d recv io control failed:%d", m_avIndex, r);
            qWarning("%d io control channel closed, event thread ends", m_avIndex);
            break;
        }
        // A transient error: log the first of a run, then only its count.
        if (r != lastError) {
            if (repeats > 1)
                qWarning("%d recv io control failed:%d (%d times)", m_avIndex, lastError, repeats);
            qWarning("%d recv io control failed:%d", m_avIndex, r);
            lastError = r;
            repeats = 1;
        } else {
            ++repeats;
        }
        backoff = backoff == 0 ? MinBackoffMs : qMin(backoff * 2, MaxBackoffMs);
        pause(backoff);
    }
}

int EventRecvthread::doReceive()
{
    unsigned int type = 0xFFFFFFFFu;
    QJsonObject json;
    const int r = m_receiver ? m_receiver(m_avIndex, &type, &json, ReceiveTimeoutMs) : AV_ER_INVALID_ARG;
    if (isInterruptionRequested())
        return r;
    if (r >= 0)
        emit ioctrlEvent(type, json);
    return r;
}

void EventRecvthread::pause(int ms)
{
    QElapsedTimer t;
    t.start();
    while (!isInterruptionRequested() && t.elapsed() < ms)
        msleep(quint64(qMin<qint64>(20, ms - t.elapsed())));
}
