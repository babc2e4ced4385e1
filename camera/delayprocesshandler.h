#pragma once

#include <QObject>

class QThread;
class QTimer;

// The time limit of a P2P connect. Lives on a guard thread: when its single
// shot timer fires before the connect has returned, it stops the pending
// connect of its session id. connectByUid destroys it, with the guard
// thread, as soon as the connect returns, so a late timer never fires.
class DelayProcessHandler : public QObject
{
    Q_OBJECT
public:
    // Moves itself to guardThread; the timer starts when that thread starts
    // and stops when it finishes. Delete it after the thread has finished.
    DelayProcessHandler(int sessionId, int delayMs, QThread* guardThread, QObject* parent = nullptr);
    ~DelayProcessHandler() override;

public slots:
    void onTimeout();

private:
    const int m_sessionId;
    QTimer* m_timer;
};
