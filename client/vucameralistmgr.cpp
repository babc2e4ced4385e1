#include "client/vucameralistmgr.h"

#include "client/vucameraclient.h"
#include "cloud/apicredentials.h"
#include "cloud/vuotapi.h"

#include <QTimer>

VuCameraListMgr::VuCameraListMgr(QObject* parent) : QObject(parent) {}

VuCameraListMgr::~VuCameraListMgr()
{
    // Clients still alive (no stop, or stop not finished) are shut down here;
    // their destructors wait for their worker threads.
    for (VuCameraClient* c : m_cameras + m_removed) {
        disconnect(c, nullptr, this, nullptr);
        delete c;
    }
}

void VuCameraListMgr::setApiCredentials(const QString& userId, const QString& serviceToken, const QString& ssecurity)
{
    ApiCredentials::set(userId, serviceToken, ssecurity);
}

void VuCameraListMgr::start()
{
    m_pendingOffline.clear();
    m_firstLoad = true;
    getRoomList();
}

void VuCameraListMgr::stop()
{
    m_stopping = true;
    if (m_refreshTimer) {
        m_refreshTimer->stop();
        disconnect(m_refreshTimer, &QTimer::timeout, this, &VuCameraListMgr::getDeviceList);
        delete m_refreshTimer;
        m_refreshTimer = nullptr;
    }
    if (m_cameras.isEmpty()) {
        emit stopped();
    } else {
        const QList<VuCameraClient*> copy = m_cameras;
        for (VuCameraClient* c : copy)
            c->destroy();
    }
    m_pendingOffline.clear();
}

void VuCameraListMgr::getRoomList()
{
    qInfo("to get room list");
    auto* api = new VuotApi(this);
    connect(api, &VuotApi::getRoomListFinished, this, &VuCameraListMgr::onGetRoomListFinished);
    api->getRoomList();
}

void VuCameraListMgr::getDeviceList()
{
    auto* api = new VuotApi(this);
    connect(api, &VuotApi::getDeviceListFinished, this, &VuCameraListMgr::onGetDeviceListFinished);
    api->getDeviceList(QString(), QString(), true, 0);
}

bool VuCameraListMgr::retryFirstLoad()
{
    return m_retries++ < 3;
}

void VuCameraListMgr::onGetRoomListFinished(int ret, const RoomList& rooms)
{
    if (sender())
        sender()->deleteLater();
    if (ret == 0) {
        qInfo("get room list finished.count=%d", rooms.size());
        m_rooms = rooms;
        getDeviceList();
        return;
    }
    qWarning("failed to get room list:%d", ret);
    if (!m_firstLoad)
        return;
    if (retryFirstLoad()) {
        qInfo("retry get room list");
        getRoomList();
    } else {
        emit startFailed(ret);
    }
}

VuCameraClient* VuCameraListMgr::createClient(const VuotCameraStat& record, const char* logFormat)
{
    auto* client = new VuCameraClient(record);
    const RoomInfo* room = m_rooms.roomOf(record.did);
    client->setRoom(room ? room->name : QString(), room ? room->icon : QString());
    connect(client, &VuCameraClient::destroyed, this, &VuCameraListMgr::onCameraClientDestroyed);
    m_cameras.append(client);
    qInfo(logFormat, qPrintable(record.did), record.isOnline ? "online" : "offline",
          record.isSetPincode ? "enabled" : "disabled", qPrintable(room ? room->name : QString()));
    return client;
}

void VuCameraListMgr::onGetDeviceListFinished(int ret, const QList<VuotCameraStat>& listed)
{
    if (sender())
        sender()->deleteLater();
    if (m_stopping)
        return; // an answer that raced with stop: no new clients any more
    if (ret != 0) {
        qWarning("failed to get dev list:%d", ret);
        if (!m_firstLoad)
            return;
        if (retryFirstLoad()) {
            qInfo("retry get dev list");
            getDeviceList();
        } else {
            emit startFailed(ret);
        }
        return;
    }

    // One client per camera: a device the cloud lists twice keeps its first record.
    QList<VuotCameraStat> cameras;
    QStringList dids;
    for (const VuotCameraStat& record : listed) {
        if (dids.contains(record.did)) {
            qWarning("camera %s listed twice, the second record ignored", qPrintable(record.did));
            continue;
        }
        dids << record.did;
        cameras << record;
    }

    if (m_firstLoad) {
        m_firstLoad = false;
        for (const VuotCameraStat& record : cameras)
            createClient(record, "%s new, %s pincode:%s room:%s");
        emit deviceListLoaded(m_cameras);
        if (!m_refreshTimer) {
            m_refreshTimer = new QTimer(this);
            connect(m_refreshTimer, &QTimer::timeout, this, &VuCameraListMgr::getDeviceList);
            m_refreshTimer->start(m_pollIntervalMs);
        }
        return;
    }

    const int before = m_cameras.size();
    QStringList received;
    for (const VuotCameraStat& record : cameras) {
        received << record.did;
        VuCameraClient* existing = nullptr;
        for (VuCameraClient* c : qAsConst(m_cameras)) {
            if (c->did() == record.did) {
                existing = c;
                break;
            }
        }
        if (!existing) {
            VuCameraClient* c = createClient(record, "camera %s added, %s  pincode:%s room:%s");
            if (before > 0)
                emit cameraAdded(c);
        } else if (existing->isOnline() && !record.isOnline) {
            if (m_pendingOffline.contains(record.did)) {
                qInfo("changed online status for cam:%s", qPrintable(record.did));
                existing->setInfo(record);
                m_pendingOffline.removeAll(record.did);
            } else {
                qInfo("delay change online status for cam:%s", qPrintable(record.did));
                m_pendingOffline << record.did;
            }
        } else {
            existing->setInfo(record);
        }
    }

    for (int i = m_cameras.size() - 1; i >= 0; --i) {
        VuCameraClient* c = m_cameras.at(i);
        if (!received.contains(c->did())) {
            qInfo("camera %s removed", qPrintable(c->did()));
            m_cameras.removeAt(i);
            m_removed.append(c);
            emit cameraRemoved(c);
        }
    }

    if ((before == 0) != m_cameras.isEmpty())
        emit deviceListLoaded(m_cameras);
}

void VuCameraListMgr::onCameraClientDestroyed()
{
    auto* client = qobject_cast<VuCameraClient*>(sender());
    if (!client)
        return;
    // Only the last listed client ends a stop: a removed one going later must
    // not report the stop again.
    const bool listed = m_cameras.removeAll(client) > 0;
    m_removed.removeAll(client);
    client->deleteLater();
    if (listed && m_cameras.isEmpty() && m_stopping)
        emit stopped();
}
