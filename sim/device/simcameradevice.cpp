#include "sim/device/simcameradevice.h"

#include "p2p/p2pdevice.h"
#include "sim/device/simcamerasession.h"
#include "sim/device/simioctrldispatcher.h"
#include "sim/device/simviolations.h"
#include "sim/device/simwirerules.h"
#include "sim/scenario/scenario.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <sodium.h>

namespace {
constexpr unsigned int kLoginWaitMs = 30000;
constexpr unsigned int kPollMs = 100;
constexpr int kLoginAttempts = 5;

bool fault(const SimCamera& c, const char* key)
{
    return c.faults.value(QLatin1String(key)).toBool(false);
}
} // namespace

struct SimCameraDevice::Login
{
    SimCameraDevice* device = nullptr;
    QByteArray account;
    QByteArray key;
};

SimCameraDevice::SimCameraDevice(Scenario* scenario, const QString& did, const SimIoCtrlDispatcher* dispatcher,
                                 const QString& directory, SimViolations* violations)
    : m_scenario(scenario)
    , m_did(did)
    , m_dispatcher(dispatcher)
    , m_directory(directory)
    , m_violations(violations)
{
}

SimCameraDevice::~SimCameraDevice()
{
    shutdown();
}

bool SimCameraDevice::registered() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_handle >= 0;
}

QByteArray SimCameraDevice::lastViewAccount() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_lastAccount;
}

QByteArray SimCameraDevice::lastMediaKey() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_lastKey;
}

void SimCameraDevice::apply()
{
    std::lock_guard<std::mutex> a(m_applyMutex);
    SimCamera cam;
    if (!m_scenario->camera(m_did, &cam)) {
        goOffline();
        return;
    }
    m_dropping = fault(cam, "p2p_drop");
    m_noResend = fault(cam, "p2p_no_resend");
    unsigned faults = 0;
    if (fault(cam, "p2p_refuse"))
        faults |= P2PD_FAULT_REFUSE;
    if (fault(cam, "p2p_stall"))
        faults |= P2PD_FAULT_STALL;
    if (fault(cam, "p2p_mute"))
        faults |= P2PD_FAULT_MUTE;
    if (fault(cam, "p2p_stall_login"))
        faults |= P2PD_FAULT_STALL_AV;
    if (fault(cam, "p2p_silent"))
        faults |= P2PD_FAULT_SILENT;
    bool uidChanged;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        uidChanged = m_handle >= 0 && m_uid != cam.p2pId;
    }
    if (!cam.online || uidChanged)
        goOffline();
    if (cam.online)
        goOnline();
    std::lock_guard<std::mutex> l(m_mutex);
    if (m_handle >= 0)
        P2PD_SetFaults(m_handle, faults);
    reapSessions();
}

void SimCameraDevice::shutdown()
{
    std::lock_guard<std::mutex> a(m_applyMutex);
    goOffline();
}

void SimCameraDevice::goOnline()
{
    SimCamera cam;
    m_scenario->camera(m_did, &cam);
    std::lock_guard<std::mutex> l(m_mutex);
    if (m_handle >= 0)
        return;
    const QByteArray uid = cam.p2pId.toLatin1();
    const QByteArray dir = m_directory.toLatin1();
    // The camera listens beside its directory, on the same address.
    const QByteArray address = m_directory.section(QLatin1Char(':'), 0, 0).toLatin1();
    const int h = P2PD_Register2(uid.constData(), dir.constData(), address.constData(), 0);
    if (h < 0) {
        qWarning("sim camera %s: cannot register P2P id %s: %d", qPrintable(m_did), uid.constData(), h);
        return;
    }
    m_handle = h;
    m_uid = cam.p2pId;
    m_acceptor = std::thread([this, h] { acceptLoop(h); });
}

void SimCameraDevice::goOffline()
{
    std::thread acceptor;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        if (m_handle >= 0)
            P2PD_Unregister(m_handle); // ends the sessions and the accept loop
        m_handle = -1;
        acceptor.swap(m_acceptor);
    }
    if (acceptor.joinable())
        acceptor.join();
    // Session threads take m_mutex themselves: join them outside of it.
    std::vector<SessionThread> sessions;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        sessions.swap(m_sessions);
    }
    for (auto& t : sessions)
        t.thread.join();
}

// m_mutex held. Joins session threads that have finished.
void SimCameraDevice::reapSessions()
{
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = m_sessions.erase(it);
        } else {
            ++it;
        }
    }
}

void SimCameraDevice::acceptLoop(int handle)
{
    for (;;) {
        const int sid = P2PD_Accept(handle, 500);
        if (sid == P2PD_ER_INVALID_DEVICE)
            return;
        std::lock_guard<std::mutex> l(m_mutex);
        reapSessions();
        if (sid < 0)
            continue;
        SessionThread t;
        t.done = std::make_shared<std::atomic<bool>>(false);
        auto done = t.done;
        t.thread = std::thread([this, sid, done] {
            runSession(sid);
            done->store(true);
        });
        m_sessions.push_back(std::move(t));
    }
}

int SimCameraDevice::loginCallback(void* user, int, const char* account, const char* password, int* resend,
                                   unsigned int*)
{
    auto* login = static_cast<Login*>(user);
    login->account = QByteArray(account);
    const QString rule = SimWireRules::checkViewAccount(login->account);
    if (!rule.isEmpty() && login->device->m_violations)
        login->device->m_violations->record(login->device->m_did, QStringLiteral("login"), login->account, rule);
    const int r = rule.isEmpty() ? login->device->checkLogin(login->account, QByteArray(password), &login->key)
                                 : AV_ER_WRONG_VIEWACC_PWD;
    if (r != 0)
        login->device->m_refused++;
    if (r == 0) {
        login->device->m_accepted++;
        if (login->device->m_noResend)
            *resend = 0;
        // Recorded before the client hears the answer.
        std::lock_guard<std::mutex> l(login->device->m_mutex);
        login->device->m_lastAccount = login->account;
        login->device->m_lastKey = login->key;
    }
    return r;
}

int SimCameraDevice::checkLogin(const QByteArray& account, const QByteArray& password, QByteArray* mediaKey) const
{
    SimCamera cam;
    if (!m_scenario->camera(m_did, &cam))
        return AV_ER_WRONG_VIEWACC_PWD;
    if (password != cam.password.toUtf8()) {
        qInfo("sim camera %s: login refused: wrong password", qPrintable(m_did));
        return AV_ER_WRONG_VIEWACC_PWD;
    }
    mediaKey->clear();
    if (account == "admin")
        return 0;
    const QJsonDocument doc = QJsonDocument::fromJson(account);
    const QJsonObject o = doc.object();
    const QByteArray appPk = QByteArray::fromHex(o.value(QLatin1String("public_key")).toString().toLatin1());
    const QByteArray sign = QByteArray::fromHex(o.value(QLatin1String("sign")).toString().toLatin1());
    const QByteArray cloudPk = m_scenario->cloudSignPublicKey();
    if (!doc.isObject() || o.value(QLatin1String("account")).toString() != QLatin1String("admin")
        || appPk.size() != crypto_box_PUBLICKEYBYTES || sign.size() != crypto_sign_BYTES
        || cloudPk.size() != crypto_sign_PUBLICKEYBYTES || cam.boxSecretKey.size() != crypto_box_SECRETKEYBYTES) {
        qInfo("sim camera %s: login refused: malformed view account", qPrintable(m_did));
        return AV_ER_WRONG_VIEWACC_PWD;
    }
    if (crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(sign.constData()),
                                    reinterpret_cast<const unsigned char*>(appPk.constData()),
                                    static_cast<unsigned long long>(appPk.size()),
                                    reinterpret_cast<const unsigned char*>(cloudPk.constData()))
        != 0) {
        qInfo("sim camera %s: login refused: bad signature", qPrintable(m_did));
        return AV_ER_WRONG_VIEWACC_PWD;
    }
    QByteArray key(crypto_box_BEFORENMBYTES, '\0');
    if (crypto_box_beforenm(reinterpret_cast<unsigned char*>(key.data()),
                            reinterpret_cast<const unsigned char*>(appPk.constData()),
                            reinterpret_cast<const unsigned char*>(cam.boxSecretKey.constData()))
        != 0) {
        qInfo("sim camera %s: login refused: weak public key", qPrintable(m_did));
        return AV_ER_WRONG_VIEWACC_PWD;
    }
    *mediaKey = key;
    return 0;
}

void SimCameraDevice::runSession(int sid)
{
    m_activeSessions++;
    Login login;
    login.device = this;
    int av = -1;
    for (int attempt = 0; attempt < kLoginAttempts; ++attempt) {
        av = P2PD_AvServStart(sid, 0, kLoginWaitMs, &SimCameraDevice::loginCallback, &login);
        if (av >= 0 || av != AV_ER_WRONG_VIEWACC_PWD)
            break;
    }
    bool dropped = false;
    if (av >= 0) {
        SimCameraSession session(m_scenario, m_did, sid, av, login.account, login.key, m_violations);
        m_dispatcher->sessionStarted(session);
        QByteArray buf(AV_MAX_IOCTRL_SIZE, '\0');
        for (;;) {
            if (m_dropping) {
                dropped = true;
                break;
            }
            unsigned int type = 0;
            const int n = avRecvIOCtrl(av, &type, buf.data(), buf.size(), kPollMs);
            if (n == AV_ER_TIMEOUT)
                continue;
            if (n < 0)
                break;
            m_dispatcher->dispatch(session, type, QByteArray(buf.constData(), n));
        }
        session.stopTasks();
        m_dispatcher->sessionEnded(session);
        if (dropped)
            P2PD_Session_Drop(sid);
        P2PD_AvServStop(av);
    }
    if (!dropped)
        IOTC_Session_Close(sid);
    m_activeSessions--;
}
