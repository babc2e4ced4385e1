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
    moveToThread(guardThread);
}

DelayProcessHandler::~DelayProcessHandler() = default;

void DelayProcessHandler::disarm()
{
    if (thread()->isRunning() && QThread::currentThread() != thread())
        QMetaObject::invokeMethod(m_timer, &QTimer::stop, Qt::BlockingQueuedConnection);
    else
        m_timer->stop();
}

void DelayProcessHandler::onTimeout()
{
    IOTC_Connect_Stop_BySID(m_sessionId);
    qInfo("timeout,called function IOTC_Connect_Stop_BySID.");
}
