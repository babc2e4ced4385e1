#pragma once
// Runs a function on another object's thread through a queued signal.
//
// QMetaObject::invokeMethod with a functor does the same, but the thread
// sanitizer cannot see the ordering it gives (the hand-over happens under a
// lock inside QtCore). Sanitizer builds model queued signals, so going
// through one keeps what the test set up before ordered before the call.

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>

inline void runQueued(QObject* context, std::function<void()> fn)
{
    struct Pending
    {
        QMetaObject::Connection connection;
        std::shared_ptr<std::atomic<bool>> done;
    };
    static std::mutex mutex;
    static QObject sender;
    // Kept to the process's end: the last calls' flags may still be read by
    // their threads while static objects are destroyed.
    static QList<Pending>& pending = *new QList<Pending>;
    static quint64 serial = 0;
    std::lock_guard<std::mutex> lock(mutex);
    // Connections whose call has run are cut here, on the sender's thread,
    // and not by the call itself: its function object must not be freed
    // under it.
    // Every run of a call ends by storing its flag; reading the flag again
    // after the cut orders a late run before the flag may be freed here
    // (what orders it really, the slot's reference count, is inside QtCore).
    for (int i = pending.size() - 1; i >= 0; --i) {
        if (pending.at(i).done->load()) {
            QObject::disconnect(pending.at(i).connection);
            pending.at(i).done->load();
            pending.removeAt(i);
        }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    const QMetaObject::Connection connection = QObject::connect(
        &sender, &QObject::objectNameChanged, context,
        [fn, done] {
            // A later call's emission reaches this connection too.
            if (!done->load())
                fn();
            done->store(true);
        },
        Qt::QueuedConnection);
    pending.append({connection, done});
    sender.setObjectName(QString::number(++serial)); // emits objectNameChanged
}

// The same, waiting until the call has run. The context must live on
// another thread that runs its event loop.
inline void runQueuedAndWait(QObject* context, std::function<void()> fn)
{
    auto ran = std::make_shared<std::promise<void>>();
    std::future<void> finished = ran->get_future();
    runQueued(context, [fn, ran] {
        fn();
        ran->set_value();
    });
    finished.wait();
}
