#pragma once

#include "core/camerapassport.h"
#include "cloud/campropset.h"
#include "cloud/coreapi.h"
#include "cloud/roomlist.h"
#include "cloud/vuotcamerastat.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

// The home cloud API calls of the client: device list, rooms, properties and
// the device pass. Each call goes through its own CoreApi.
class VuotApi : public QObject
{
    Q_OBJECT
public:
    // watchdogMs: each request's CoreApi watchdog, and the limit of the
    // synchronous calls.
    explicit VuotApi(QObject* parent = nullptr, int watchdogMs = CoreApi::kDefaultWatchdogMs);

    void getDeviceList(const QString& ssid, const QString& bssid, bool getVirtualModel, int getPulsaDevices);
    void getRoomList();
    void getProperties(const QString& did);
    int getPropertiesSync(const QString& did, CamPropSet& out);
    // The cloud's own "code" in the last answer getPropertiesSync received
    // (0 when there was none, e.g. after a network failure).
    int lastCloudCode() const { return m_lastCloudCode; }
    // The code the cloud answers an RPC with when the camera is not
    // connected to it.
    static constexpr int CloudDeviceOffline = -2;
    void setProperty(const QString& did, const QString& name, const QString& value);
    int getDevicePassSync(const QString& did, const QString& pincode, CameraPassport& out);

    static bool isSupportedModel(const QString& model);
    // Reply parsers, shared by the slots and the synchronous calls.
    static int parseDeviceList(const QJsonObject& reply, QList<VuotCameraStat>& out);
    static int parseRoomList(const QJsonObject& reply, RoomList& out);
    static int parseProperties(const QJsonObject& reply, CamPropSet& out);
    static int onOff(const QString& text);
    // Fills the passport from a "/device/devicepass" answer (the app key
    // pair must already be in it): 0, or -20009 without a "p2p_id".
    static int parseDevicePass(const QJsonObject& reply, CameraPassport& out);

signals:
    void getDeviceListFinished(int ret, QList<VuotCameraStat> cameras);
    void getRoomListFinished(int ret, RoomList room_list);
    void getPropertiesFinished(int ret, CamPropSet prop_set);
    void setPropertyFinished(int ret);

private slots:
    void onGetDeviceListFinished(int ret, QJsonObject result);
    void onGetRoomListFinished(int ret, QJsonObject result);
    void onGetPropertiesFinished(int ret, QJsonObject result);
    void onSetPropertyFinished(int ret, QJsonObject result);

private:
    int m_lastCloudCode = 0;
    const int m_watchdogMs;
};
