#include "camera/cameracontroller.h"

#include "app/camerapassport.h"
#include "app/functiontrace.h"
#include "camera/libp2p.h"
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>

CameraController::CameraController(const CameraPassport* record, QObject* parent)
    : QObject(parent)
    , m_record(record)
{
}

CameraController::~CameraController()
{
    stopPlay();
}

QByteArray CameraController::did() const
{
    return m_record ? m_record->did.toUtf8() : QByteArray();
}

QByteArray CameraController::viewAccount(const CameraPassport& passport)
{
    if (passport.sharedKey.isEmpty())
        return passport.user.toLatin1();
    // QJsonDocument writes members sorted by name, which is exactly the
    // order account, public_key, sign.
    QJsonObject o;
    o.insert(QStringLiteral("account"), passport.user);
    o.insert(QStringLiteral("public_key"), QString::fromLatin1(passport.appPublicKey.toHex()));
    o.insert(QStringLiteral("sign"), passport.signForAppData);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

int CameraController::connCamera()
{
    FunctionTrace trace("CameraController::connCamera");
    if (m_avIndex >= 0 && m_sessionId >= 0) {
        qWarning("already connected!!!!!!!!!!!!!!!!!!!!!!!");
        return 0;
    }

    const int sid = IOTC_Get_SessionID();
    m_sessionId = sid;
    if (sid < 0) {
        qWarning("IOTC_Get_Session error code [%d]", sid);
        return sid;
    }

    const QString uid = m_record ? m_record->p2p_id : QString();
    const int r = connectByUid(uid, sid, m_connectTimeoutSeconds);
    if (r < 0) {
        qWarning("IOTC_Connect_ByUID_Parallel error[%d]", r);
        IOTC_Session_Close(sid);
        m_sessionId = -1;
        return r;
    }

    reportSession();

    const QByteArray account = m_record ? viewAccount(*m_record) : QByteArray("admin");
    const QByteArray password = m_record ? m_record->password.toLatin1() : QByteArray();
    unsigned int serviceType = 0;
    int resend = -1;
    m_avIndex = avClientStart2(sid, account.constData(), password.constData(), AvStartTimeoutSeconds,
                               &serviceType, 0, &resend);
    if (m_avIndex < 0) {
        IOTC_Session_Close(sid);
        m_sessionId = -1;
        qWarning("avClientStart failed[%d]", m_avIndex);
        return m_avIndex;
    }
    if (resend != 1) {
        qWarning("Resend disenable[%d]", resend);
        avClientStop(m_avIndex);
        m_avIndex = -1;
        IOTC_Session_Close(sid);
        m_sessionId = -1;
        return -5;
    }
    return 0;
}

void CameraController::reportSession()
{
    IOTCSessionInfo info;
    std::memset(&info, 0, sizeof info);
    IOTC_Session_Check(m_sessionId, &info);
    static const char* const modes[] = {"P2P", "RLY", "LAN"};
    if (info.mode <= 2)
        qInfo("device is from %s:%d[%s] Mode=%s", info.remoteIp, info.remotePort, info.uid, modes[info.mode]);
    qInfo("device info VER[%X] NAT[%d]", info.version, info.natType);
}

void CameraController::abort()
{
    FunctionTrace trace("CameraController::abort");
    const int sid = m_sessionId;
    if (sid >= 0) {
        qInfo("stop connection for session");
        IOTC_Connect_Stop_BySID(sid);
    }
}

int CameraController::stopPlay()
{
    FunctionTrace trace("CameraController::stopPlay");
    // The media threads, the video buffer and the audio player are stopped
    // and deleted here first (the commands that start them add their steps),
    // so nothing uses the channel or the session once they are closed.

    if (m_avIndex >= 0) {
        avClientStop(m_avIndex);
        m_avIndex = -1;
    }
    // A failed IOTC_Get_SessionID leaves its negative code here: nothing to close.
    if (m_sessionId >= 0) {
        IOTC_Session_Close(m_sessionId);
        m_sessionId = -1;
        qInfo("camera disconnected");
    }
    m_videoBuffer = nullptr;
    return 0;
}
