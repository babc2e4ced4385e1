#pragma once

#include "camera/rdtapi.h"

#include <QByteArray>
#include <mutex>
#include <QThread>
#include <QVector>
#include <QtEndian>

#include <cstring>

#include <memory>

// An in-memory RDT channel: what the camera would send is queued in
// `incoming`, reads hand it out at most `chunk` bytes at a time, and every
// request written is recorded. A read with nothing queued returns
// `emptyResult` (after `emptyDelayMs`, as a time-out would).
struct FakeRdt
{
    struct State
    {
        std::mutex mutex;
        QByteArray incoming;
        QVector<QByteArray> written;
        QVector<int> destroyed;
        int createResult = 7;
        int writeResult = 0; // 0: the written length
        int chunk = 1 << 20;
        int emptyResult = -10007;
        int emptyDelayMs = 0;
        int creates = 0;
        int reads = 0;
    };
    std::shared_ptr<State> s = std::make_shared<State>();

    RdtApi api() const
    {
        std::shared_ptr<State> st = s;
        RdtApi a;
        a.create = [st](int, int, int) {
            std::lock_guard<std::mutex> l(st->mutex);
            ++st->creates;
            return st->createResult;
        };
        a.destroy = [st](int id) {
            std::lock_guard<std::mutex> l(st->mutex);
            st->destroyed.append(id);
            return 0;
        };
        a.write = [st](int, const char* data, int len) {
            std::lock_guard<std::mutex> l(st->mutex);
            st->written.append(QByteArray(data, len));
            return st->writeResult ? st->writeResult : len;
        };
        a.read = [st](int, char* buf, int len, int) {
            int delay = 0;
            {
                std::lock_guard<std::mutex> l(st->mutex);
                ++st->reads;
                if (!st->incoming.isEmpty()) {
                    const int n = qMin(qMin(len, st->chunk), st->incoming.size());
                    memcpy(buf, st->incoming.constData(), size_t(n));
                    st->incoming.remove(0, n);
                    return n;
                }
                delay = st->emptyDelayMs;
            }
            if (delay)
                QThread::msleep(quint64(delay));
            return s_empty(st);
        };
        return a;
    }

    // Reads of what the thread under test did, under the fake's lock.
    template <typename F>
    auto read(F f) const
    {
        std::lock_guard<std::mutex> l(s->mutex);
        return f(*s);
    }
    QVector<QByteArray> written() const { return read([](const State& st) { return st.written; }); }
    QVector<int> destroyed() const { return read([](const State& st) { return st.destroyed; }); }
    QByteArray incoming() const { return read([](const State& st) { return st.incoming; }); }
    int reads() const { return read([](const State& st) { return st.reads; }); }

    void feed(const QByteArray& bytes)
    {
        std::lock_guard<std::mutex> l(s->mutex);
        s->incoming.append(bytes);
    }

    static int s_empty(const std::shared_ptr<State>& st)
    {
        std::lock_guard<std::mutex> l(st->mutex);
        return st->emptyResult;
    }

    // A reply header announcing `length` bytes of records.
    static QByteArray header(quint32 length)
    {
        QByteArray h(12, '\x11'); // the other 8 bytes are the camera's own
        qToLittleEndian<quint32>(length, h.data() + 4);
        return h;
    }
    static QByteArray record(quint32 start, quint8 duration, quint8 motion, quint8 saved)
    {
        QByteArray r(8, '\0');
        qToLittleEndian<quint32>(start, r.data());
        r[4] = char(duration);
        r[5] = char(motion);
        r[6] = char(saved);
        r[7] = char(0x7e);
        return r;
    }
};
