#pragma once

#include "cloud/roomlist.h"
#include "cloud/vuotcamerastat.h"

#include <QList>
#include <QObject>
#include <QStringList>

class QTimer;
class VuCameraClient;

// Keeps the set of camera clients in step with the user's home in the cloud:
// rooms once, then the device list at start and every 30 seconds.
class VuCameraListMgr : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPollIntervalMs = 30000;

    explicit VuCameraListMgr(QObject* parent = nullptr);
    ~VuCameraListMgr() override;

    // Process-wide: the main window hands in each service login's credentials,
    // which every signed request of any thread reads.
    static void setApiCredentials(const QString& userId, const QString& serviceToken, const QString& ssecurity);

    void start();
    void stop();
    void getRoomList();
    void getDeviceList();

    QList<VuCameraClient*> cameras() const { return m_cameras; }
    const RoomList& rooms() const { return m_rooms; }
    // Test hook: a shorter poll interval.
    void setPollInterval(int ms) { m_pollIntervalMs = ms; }

signals:
    void startFailed(int ret);
    void deviceListLoaded(const QList<VuCameraClient*>& devLst);
    void cameraAdded(VuCameraClient* cam);
    void cameraRemoved(VuCameraClient* cam);
    void stopped();

private slots:
    void onGetRoomListFinished(int ret, const RoomList& rooms);
    void onGetDeviceListFinished(int ret, const QList<VuotCameraStat>& cameras);
    void onCameraClientDestroyed();

private:
    VuCameraClient* createClient(const VuotCameraStat& record, const char* logFormat);
    bool retryFirstLoad();

    QList<VuCameraClient*> m_cameras;
    QList<VuCameraClient*> m_removed;
    QStringList m_pendingOffline;
    RoomList m_rooms;
    QTimer* m_refreshTimer = nullptr;
    bool m_stopping = false;
    int m_retries = 0;
    bool m_firstLoad = true;
    int m_pollIntervalMs = kPollIntervalMs;
};
