#pragma once
// A signal recorder for signals emitted on other threads.
//
// QSignalSpy appends in the emitting thread, without a lock, while the test
// reads the same list on its own thread: with a camera, cloud or client
// worker emitting, that is a data race in the test itself. ThreadSafeSpy
// records in the emitting thread too (a queued copy could arrive after the
// emitter's objects are gone), but under a mutex, and every read returns a
// copy taken under that mutex. The API follows the parts of QSignalSpy the
// tests use; results are values, not references into the shared list.

#include <QElapsedTimer>
#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <QTest>
#include <QVariant>

#include <mutex>
#include <stdexcept>

class ThreadSafeSpy : public QObject
{
public:
    // &Class::signal
    template <typename Func>
    ThreadSafeSpy(const typename QtPrivate::FunctionPointer<Func>::Object* sender, Func signal)
    {
        init(sender, QMetaMethod::fromSignal(signal));
    }

    // SIGNAL(name(args))
    ThreadSafeSpy(const QObject* sender, const char* signal)
    {
        QMetaMethod method;
        if (sender && signal && signal[0] == '0' + QSIGNAL_CODE) {
            const QByteArray normalized = QMetaObject::normalizedSignature(signal + 1);
            const int index = sender->metaObject()->indexOfSignal(normalized.constData());
            if (index >= 0)
                method = sender->metaObject()->method(index);
        }
        init(sender, method);
    }

    bool isValid() const { return m_valid; }

    int count() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls.size();
    }
    int size() const { return count(); }
    bool isEmpty() const { return count() == 0; }

    QList<QList<QVariant>> calls() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    QList<QVariant> at(int i) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (i < 0 || i >= m_calls.size())
            throw std::out_of_range("ThreadSafeSpy::at");
        return m_calls.at(i);
    }
    QList<QVariant> operator[](int i) const { return at(i); }
    // An empty list when there is no call i.
    QList<QVariant> value(int i) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls.value(i);
    }
    QList<QVariant> first() const { return at(0); }
    QList<QVariant> last() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_calls.isEmpty())
            throw std::out_of_range("ThreadSafeSpy::last");
        return m_calls.last();
    }
    QList<QVariant> takeFirst()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_calls.isEmpty())
            throw std::out_of_range("ThreadSafeSpy::takeFirst");
        return m_calls.takeFirst();
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.clear();
    }

    // True once a call beyond those recorded at entry has arrived. The test's
    // event loop keeps running meanwhile.
    bool wait(int timeoutMs = 5000)
    {
        const int before = count();
        QElapsedTimer timer;
        timer.start();
        while (count() == before) {
            if (timer.elapsed() >= timeoutMs)
                return false;
            QTest::qWait(5);
        }
        return true;
    }

    int qt_metacall(QMetaObject::Call call, int id, void** args) override
    {
        id = QObject::qt_metacall(call, id, args);
        if (id < 0)
            return id;
        if (call == QMetaObject::InvokeMetaMethod) {
            if (id == 0)
                record(args);
            --id;
        }
        return id;
    }

private:
    void init(const QObject* sender, const QMetaMethod& method)
    {
        if (!sender || !method.isValid() || method.methodType() != QMetaMethod::Signal) {
            qWarning("ThreadSafeSpy: no such signal");
            return;
        }
        for (int i = 0; i < method.parameterCount(); ++i) {
            int type = method.parameterType(i);
            if (type == QMetaType::UnknownType)
                type = QMetaType::type(method.parameterTypes().at(i).constData());
            // As QSignalSpy does: the call is still counted, the argument
            // is an invalid QVariant.
            if (type == QMetaType::UnknownType)
                qWarning("ThreadSafeSpy: parameter %d of %s is not a registered type", i,
                         method.methodSignature().constData());
            m_types << type;
        }
        // Our one slot sits right after QObject's own methods.
        m_valid = QMetaObject::connect(sender, method.methodIndex(), this,
                                       QObject::staticMetaObject.methodCount(), Qt::DirectConnection, nullptr);
        if (!m_valid)
            qWarning("ThreadSafeSpy: connect failed");
    }

    void record(void** args)
    {
        QList<QVariant> call;
        for (int i = 0; i < m_types.size(); ++i) {
            if (m_types.at(i) == QMetaType::QVariant)
                call << *reinterpret_cast<QVariant*>(args[i + 1]);
            else if (m_types.at(i) == QMetaType::UnknownType)
                call << QVariant();
            else
                call << QVariant(m_types.at(i), args[i + 1]);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls << call;
    }

    mutable std::mutex m_mutex;
    QList<QList<QVariant>> m_calls;
    QList<int> m_types;
    bool m_valid = false;
};
