#include "sim/devicefeatures/simdevicefeatures.h"

#include "p2p/p2pdevice.h"
#include "p2p/rdtapi.h"
#include "sim/device/simcamerasession.h"
#include "sim/device/simioctrldispatcher.h"
#include "sim/device/simwirerules.h"
#include "sim/devicefeatures/simpantilt.h"
#include "sim/devicefeatures/simtimeline.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace {

const char* const kRdtKey = "devicefeatures.rdt";

// The streams a session opened, by channel; each flag stops its task.
struct RdtStreams
{
    std::mutex mutex;
    std::map<int, std::shared_ptr<std::atomic<bool>>> open;
};

int channelOf(const QByteArray& payload)
{
    const QJsonObject o = QJsonDocument::fromJson(payload).object();
    return o.value(QStringLiteral("channel")).toInt(-1);
}

void serveTimeline(SimCameraSession& session, int channel, const std::shared_ptr<std::atomic<bool>>& closed)
{
    const int rdt = RDT_Create(session.sessionId(), 10000, static_cast<unsigned char>(channel));
    if (rdt < 0) {
        qWarning("sim camera %s: RDT_Create on channel %d failed[%d]", qPrintable(session.did()), channel, rdt);
        return;
    }
    // A hanging card keeps its stream even while the session winds down;
    // it ends when the client destroys the stream.
    const bool silent = session.camera().faults.value(QStringLiteral("timeline_silent")).toBool();
    while ((!session.stopping() || silent) && !closed->load()) {
        char buf[256];
        const int n = RDT_Read(rdt, buf, int(sizeof buf), 200);
        if (n == RDT_ER_TIMEOUT)
            continue;
        if (n <= 0)
            break; // the client destroyed the stream or the session ended
        // The client writes each request whole, so a read holds whole
        // requests: anything else is a request of the wrong length.
        QByteArray pending(buf, n);
        if (pending.size() % 4 != 0) {
            session.refuse(QStringLiteral("rdt timeline request"), pending,
                           SimWireRules::checkTimelineRequest(pending));
            continue;
        }
        for (; !pending.isEmpty(); pending.remove(0, 4)) {
            const QByteArray request = pending.left(4);
            const QString rule = SimWireRules::checkTimelineRequest(request);
            if (!rule.isEmpty()) {
                session.refuse(QStringLiteral("rdt timeline request"), request, rule);
                continue;
            }
            const SimCamera cam = session.camera();
            if (silent)
                continue;
            const QByteArray reply = SimTimeline::reply(cam.recordings);
            if (cam.faults.value(QStringLiteral("timeline_cut")).toBool()) {
                // The header and half of the records, then the card goes away.
                const int records = (reply.size() - 12) / 8;
                RDT_Write(rdt, reply.constData(), 12 + (records / 2) * 8);
                qInfo("sim camera %s: timeline reply cut short", qPrintable(session.did()));
                RDT_Destroy(rdt);
                return;
            }
            if (RDT_Write(rdt, reply.constData(), reply.size()) < 0)
                break;
        }
    }
    RDT_Destroy(rdt);
}

std::mutex g_countMutex;
std::map<QString, int> g_rdtStarts;

// One head per camera, shared by its sessions.
std::shared_ptr<SimPanTilt> headOf(const QString& did)
{
    static std::mutex mutex;
    static std::map<QString, std::shared_ptr<SimPanTilt>> heads;
    std::lock_guard<std::mutex> lock(mutex);
    auto& head = heads[did];
    if (!head)
        head = std::make_shared<SimPanTilt>();
    return head;
}

} // namespace

void SimDeviceFeatures::install(SimIoCtrlDispatcher& dispatcher)
{
    dispatcher.add(IoRdtStart, [](SimCameraSession& session, unsigned int, const QByteArray& payload) {
        const int channel = channelOf(payload);
        if (channel <= 0) {
            qWarning("sim camera %s: bad RDT start %s", qPrintable(session.did()), payload.constData());
            return;
        }
        {
            std::lock_guard<std::mutex> lock(g_countMutex);
            ++g_rdtStarts[session.did()];
        }
        if (!session.camera().sdcard) {
            // A client reads "sdcard_status" first and never asks.
            session.refuse(QStringLiteral("ioctrl 0x200"), payload,
                           QStringLiteral("no memory card: the client must read \"sdcard_status\" before it asks"));
            return;
        }
        if (session.camera().faults.value(QStringLiteral("rdt_refuse")).toBool()) {
            qInfo("sim camera %s: RDT on channel %d refused", qPrintable(session.did()), channel);
            session.startTask([channel](SimCameraSession& s) {
                const int r = P2PD_RdtRefuse(s.sessionId(), static_cast<unsigned char>(channel), 10000);
                if (r != 0)
                    qWarning("sim camera %s: RDT refusal on channel %d failed[%d]", qPrintable(s.did()), channel, r);
            });
            return;
        }
        auto streams = session.state<RdtStreams>(kRdtKey);
        auto closed = std::make_shared<std::atomic<bool>>(false);
        {
            std::lock_guard<std::mutex> lock(streams->mutex);
            auto it = streams->open.find(channel);
            if (it != streams->open.end())
                it->second->store(true); // a restart replaces the old stream
            streams->open[channel] = closed;
        }
        session.startTask([channel, closed](SimCameraSession& s) { serveTimeline(s, channel, closed); });
    });
    dispatcher.add(IoRdtStop, [](SimCameraSession& session, unsigned int, const QByteArray& payload) {
        const int channel = channelOf(payload);
        auto streams = session.state<RdtStreams>(kRdtKey);
        std::lock_guard<std::mutex> lock(streams->mutex);
        auto it = streams->open.find(channel);
        if (it == streams->open.end())
            return;
        it->second->store(true);
        streams->open.erase(it);
    });
    dispatcher.add(IoMotor, [](SimCameraSession& session, unsigned int, const QByteArray& payload) {
        const SimCamera cam = session.camera();
        const QJsonObject reply = headOf(cam.did)->command(QJsonDocument::fromJson(payload).object());
        if (cam.faults.value(QStringLiteral("motor_silent")).toBool())
            return;
        session.sendIoCtrl(IoMotorReply, QJsonDocument(reply).toJson(QJsonDocument::Compact));
    });
}

int SimDeviceFeatures::rdtStartRequests(const QString& did)
{
    std::lock_guard<std::mutex> lock(g_countMutex);
    const auto it = g_rdtStarts.find(did);
    return it == g_rdtStarts.end() ? 0 : it->second;
}
