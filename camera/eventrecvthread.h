#pragma once

#include <QJsonObject>
#include <QThread>
#include <functional>

// Reads the IO-control messages a camera sends on its own (replies and
// events) and emits each one. A channel that is gone (closed by either side,
// peer vanished, session invalid) ends the loop; other errors are retried
// with a growing pause so a broken channel neither spins nor floods the log.
class EventRecvthread : public QThread
{
    Q_OBJECT
public:
    static constexpr unsigned ReceiveTimeoutMs = 1000;
    static constexpr int MinBackoffMs = 50;
    static constexpr int MaxBackoffMs = 2000;

    // Receives one message: the library's result, *type and *json filled as
    // recvIoCtrlJson does.
    using Receiver = std::function<int(int avIndex, unsigned int* type, QJsonObject* json, unsigned int timeoutMs)>;

    EventRecvthread(int avIndex, const Receiver& receiver, QObject* parent = nullptr);
    ~EventRecvthread() override;

    void stop();

    // True for results after which the channel can never deliver again.
    static bool isChannelGone(int result);

signals:
    void ioctrlEvent(uint type, QJsonObject data);

protected:
    void run() override;

private:
    // Returns the result of the receive.
    int doReceive();
    // Sleeps up to ms, waking early on a stop request.
    void pause(int ms);

    const int m_avIndex;
    Receiver m_receiver;
};
