#include "camera/delayprocesshandler.h"

#include "p2p/iotcapi.h"

#include <QThread>
#include <QTimer>

DelayProcessHandler::DelayProcessHandler(int sessionId, int delayMs, QThread* guardThread, QObject* parent)
    : QObject(parent)
    , m_sessionId(sessionId)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(delayMs);
    connect(m_timer, &QTimer::timeout, this, &DelayProcessHandler::onTimeout);
    // QTimer::start must run on the timer's own thread: start it there once
    // the guard thread runs.
    connect(guardThread, &QThread::started, m_timer, QOverload<>::of(&QTimer::start));
    // ... and stop it there as the thread ends, so that the handler can be
    // deleted from the connecting thread with no timer left registered.
    connect(guardThread, &QThread::finished, m_timer, &QTimer::stop, Qt::DirectConnection);
    moveToThread(guardThread);
}

DelayProcessHandler::~DelayProcessHandler() = default;

void DelayProcessHandler::onTimeout()
{
    IOTC_Connect_Stop_BySID(m_sessionId);
    qInfo("timeout,called function IOTC_Connect_Stop_BySID.");
}
