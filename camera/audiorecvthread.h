#pragma once

#include <QThread>
#include <functional>

class AudioPlayer;

// Pulls audio frames from the AV channel and hands them to the player.
class AudioRecvthread : public QThread
{
    Q_OBJECT
public:
    static constexpr int BufferSize = 2048;
    static constexpr int IdlePollMs = 20;

    // One receive: the frame size (>= 0) with the 24-byte header, or the
    // library's negative code. Defaults to avRecvAudioData.
    using Receiver = std::function<int(int avIndex, char* buf, int bufSize, char* header, int headerSize,
                                       unsigned int* frameNumber)>;

    AudioRecvthread(int avIndex, AudioPlayer* player, QObject* parent = nullptr);
    AudioRecvthread(int avIndex, AudioPlayer* player, const Receiver& receiver, QObject* parent = nullptr);
    ~AudioRecvthread() override;

    void stop();

signals:
    void failed(int err);

protected:
    void run() override;

private:
    const int m_avIndex;
    AudioPlayer* m_player;
    Receiver m_receiver;
};
