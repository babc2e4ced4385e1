#include "camera/rdtupdatethread.h"

#include "core/threadjoin.h"

#include <QTimer>
#include <QtEndian>

RDTUpdatethread::RDTUpdatethread(int sessionId, int channel, const RdtApi& api, int refreshMs)
    : m_sessionId(sessionId)
    , m_channel(channel)
    , m_refreshMs(refreshMs)
    , m_api(api)
{
    setObjectName(QStringLiteral("rdt-timeline"));
    moveToThread(this);
    connect(this, &RDTUpdatethread::getTimeLine_s, this, &RDTUpdatethread::handleGetTimeLine);
    connect(this, &QThread::started, this, &RDTUpdatethread::handleStarted, Qt::DirectConnection);
    connect(this, &QThread::finished, this, &RDTUpdatethread::handleFinished, Qt::DirectConnection);
    ThreadJoin::watch(this); // after handleFinished, which must come before the mark
}

RDTUpdatethread::~RDTUpdatethread()
{
    stop();
    ThreadJoin::wait(this);
}

void RDTUpdatethread::stop()
{
    requestInterruption();
    quit();
}

void RDTUpdatethread::handleStarted()
{
    if (m_rdtId >= 0)
        return;
    const int id = m_api.create(m_sessionId, CreateTimeoutMs, quint8(m_channel));
    if (id < 0) {
        qWarning("RDT_Create failed[%d]...", id);
        emit rdtStarted(false);
        return;
    }
    m_rdtId = id;
    emit rdtStarted(true);
    handleGetTimeLine();
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &RDTUpdatethread::handleGetTimeLine);
    m_timer->start(m_refreshMs);
}

void RDTUpdatethread::handleFinished()
{
    if (m_timer) {
        m_timer->disconnect();
        m_timer->stop();
        delete m_timer;
        m_timer = nullptr;
    }
    if (m_rdtId >= 0) {
        m_api.destroy(m_rdtId);
        m_rdtId = -1;
    }
}

void RDTUpdatethread::handleGetTimeLine()
{
    if (m_rdtId < 0)
        return;
    QVector<RecordFileHeader> records;
    int err = 0;
    const FetchResult r = fetchTimeLine(
        m_api, m_rdtId, [this] { return isInterruptionRequested(); }, &records, &err);
    if (r == Failed)
        emit failed(err);
    else if (r == Delivered)
        emit timeLineReady(records);
}

namespace {

// Reads exactly len bytes; the last read result when it fails.
int readFully(const RdtApi& api, int rdtId, char* buf, int len)
{
    int got = 0;
    while (got < len) {
        const int n = api.read(rdtId, buf + got, len - got, RDTUpdatethread::ReadTimeoutMs);
        if (n <= 0)
            return n;
        got += qMin(n, len - got);
    }
    return got;
}

} // namespace

RDTUpdatethread::FetchResult RDTUpdatethread::fetchTimeLine(const RdtApi& api, int rdtId,
                                                            const std::function<bool()>& interrupted,
                                                            QVector<RecordFileHeader>* records, int* err)
{
    records->clear();
    char request[4];
    qToLittleEndian<quint32>(TimelineRequest, request);
    int r = api.write(rdtId, request, int(sizeof request));
    if (r <= 0) {
        if (interrupted())
            return Interrupted;
        qWarning("RDT_Write err[%d].", r);
        *err = r;
        return Failed;
    }

    char header[ReplyHeaderSize];
    r = readFully(api, rdtId, header, ReplyHeaderSize);
    if (r <= 0) {
        if (interrupted())
            return Interrupted;
        qWarning("RDT_Read err[%d].", r);
        *err = r;
        return Failed;
    }

    const quint32 length = qFromLittleEndian<quint32>(header + 4);
    if (length % sizeof(RecordFileHeader) != 0)
        qWarning("TLV pocket length wrong.");
    if (length > MaxRecordBytes) {
        qWarning("TLV pocket length too large: %u", length);
        *err = -1;
        return Failed;
    }

    qint64 remaining = length;
    while (remaining > 0) {
        if (interrupted()) {
            records->clear();
            return Interrupted;
        }
        char raw[sizeof(RecordFileHeader)];
        r = readFully(api, rdtId, raw, int(sizeof raw));
        if (r <= 0) {
            records->clear();
            if (interrupted())
                return Interrupted;
            qWarning("RDT_Read error[%d]", r);
            *err = r;
            return Failed;
        }
        records->append(RecordFileHeader::fromBytes(reinterpret_cast<const uchar*>(raw)));
        remaining -= qint64(sizeof raw);
    }

    if (records->isEmpty())
        return Empty;
    if (interrupted()) {
        records->clear();
        return Interrupted;
    }
    return Delivered;
}
