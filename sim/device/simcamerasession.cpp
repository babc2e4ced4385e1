#include "sim/device/simcamerasession.h"

#include "p2p/p2pdevice.h"
#include "sim/device/simviolations.h"

SimCameraSession::SimCameraSession(Scenario* scenario, const QString& did, int sessionId, int avIndex,
                                   const QByteArray& viewAccount, const QByteArray& mediaKey,
                                   SimViolations* violations)
    : m_scenario(scenario)
    , m_did(did)
    , m_sessionId(sessionId)
    , m_avIndex(avIndex)
    , m_viewAccount(viewAccount)
    , m_mediaKey(mediaKey)
    , m_violations(violations)
{
}

void SimCameraSession::refuse(const QString& message, const QByteArray& payload, const QString& rule)
{
    if (m_violations)
        m_violations->record(m_did, message, payload, rule);
    else
        qWarning("sim camera %s: refused %s: %s", qUtf8Printable(m_did), qUtf8Printable(message),
                 qUtf8Printable(rule));
}

SimCameraSession::~SimCameraSession()
{
    stopTasks();
}

SimCamera SimCameraSession::camera() const
{
    SimCamera c;
    if (m_scenario)
        m_scenario->camera(m_did, &c);
    return c;
}

int SimCameraSession::sendIoCtrl(unsigned int type, const QByteArray& payload)
{
    return avSendIOCtrl(m_avIndex, type, payload.constData(), payload.size());
}

int SimCameraSession::sendVideoFrame(const QByteArray& data, const QByteArray& header)
{
    return P2PD_SendFrameData(m_avIndex, data.constData(), data.size(), header.constData(),
                              qMin(header.size(), AV_FRAME_HEADER_SIZE));
}

int SimCameraSession::sendAudioFrame(const QByteArray& data, const QByteArray& header)
{
    return P2PD_SendAudioData(m_avIndex, data.constData(), data.size(), header.constData(),
                              qMin(header.size(), AV_FRAME_HEADER_SIZE));
}

void SimCameraSession::startTask(const std::function<void(SimCameraSession&)>& fn)
{
    std::lock_guard<std::mutex> l(m_taskMutex);
    if (m_stopping)
        return;
    m_tasks.emplace_back([this, fn] { fn(*this); });
}

void SimCameraSession::stopTasks()
{
    m_stopping = true;
    std::vector<std::thread> tasks;
    {
        std::lock_guard<std::mutex> l(m_taskMutex);
        tasks.swap(m_tasks);
    }
    for (auto& t : tasks)
        t.join();
}
