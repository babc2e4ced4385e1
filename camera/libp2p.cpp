#include "camera/libp2p.h"

#include "core/jsonreader.h"
#include "core/threadjoin.h"
#include "camera/delayprocesshandler.h"
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"
#include "p2p/rdtapi.h"

#include <QDebug>
#include <QJsonDocument>
#include <QThread>
#include <cstring>
#include <memory>
#include <new>

// Only some builds of the P2P library offer the wake-up: bound weakly, so the
// program links and runs (polling) against one without it.
#pragma weak avWaitVideoFrame

namespace {
constexpr int kIoCtrlBufferSize = 2048;
}

void waitVideoFrame(int avIndex, int timeoutMs)
{
    if (&avWaitVideoFrame != nullptr)
        avWaitVideoFrame(avIndex, static_cast<unsigned int>(qMax(0, timeoutMs)));
    else
        QThread::msleep(static_cast<unsigned long>(qMax(0, timeoutMs)));
}

bool canWakeOnVideoFrame()
{
    return &avWaitVideoFrame != nullptr;
}

int LibP2p::initialize()
{
    // FFmpeg 5 registers its codecs by itself: nothing to do for the decoder.
    avClientSetMaxBufSize(5000);
    int r = IOTC_Initialize2(0);
    if (r != 0) {
        qWarning("IOTCAPIs_Device exit[%d]...", r);
        return r;
    }
    r = avInitialize(128);
    if (r < 0) {
        qWarning("avInitialize err[%d]...", r);
        return r;
    }
    r = RDT_Initialize();
    if (r <= 0)
        qWarning("RDT_Initialize err[%d]...", r);
    return r;
}

int LibP2p::deInitialize()
{
    RDT_DeInitialize();
    avDeInitialize();
    return IOTC_DeInitialize();
}

int LibP2p::setDirectory(const QString& hostPort)
{
    const QByteArray text = hostPort.toLatin1();
    return IOTC_Set_Directory(text.isEmpty() ? nullptr : text.constData());
}

int connectByUid(const QString& uid, int sessionId, int timeoutSeconds)
{
    qInfo() << "connect:" << uid;
    auto* guard = new QThread;
    guard->setObjectName(QStringLiteral("connect-guard"));
    auto* handler = new DelayProcessHandler(sessionId, timeoutSeconds * 1000, guard);
    ThreadJoin::watch(guard);
    guard->start(QThread::InheritPriority);

    const QByteArray latin = uid.toLatin1();
    int r = IOTC_Connect_ByUID_Parallel(latin.constData(), sessionId);

    guard->quit();
    ThreadJoin::wait(guard);
    delete handler;
    delete guard;
    return r == IOTC_ER_CONNECT_STOPPED ? -13 : r;
}

int sendIoCtrl(int avIndex, unsigned int type, const QByteArray& payload)
{
    const int r = avSendIOCtrl(avIndex, type, payload.constData(), payload.size());
    if (r < 0)
        qWarning("avSendIOCtrl error(%d)", r);
    return r;
}

int recvIoCtrlJson(int avIndex, unsigned int& type, QJsonObject& json, unsigned int timeoutMs)
{
    std::unique_ptr<char[]> buf(new (std::nothrow) char[kIoCtrlBufferSize]);
    if (!buf) {
        qWarning("fail to malloc: %d bytes", kIoCtrlBufferSize);
        return -1;
    }
    std::memset(buf.get(), 0, kIoCtrlBufferSize);
    const int r = avRecvIOCtrl(avIndex, &type, buf.get(), kIoCtrlBufferSize, timeoutMs);
    if (r >= 0)
        parseIoCtrlJson(buf.get(), kIoCtrlBufferSize, json);
    return r;
}

bool parseIoCtrlJson(const char* buf, int size, QJsonObject& json)
{
    if (!buf || size <= 0)
        return false;
    // A reply that fills the whole buffer has no terminator: stop at its end.
    const QString text = QString::fromUtf8(buf, static_cast<int>(qstrnlen(buf, uint(size))));
    if (text.isEmpty())
        return false;
    const QJsonDocument doc = JsonReader::parse(text.toUtf8());
    if (!doc.isObject())
        return false;
    json = doc.object();
    return true;
}
