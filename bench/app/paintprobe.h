#pragma once

#include <QHash>
#include <QObject>
#include <vector>

class VuCameraWidget;

// Watches the video label of tiles and, at each paint of a picture not
// painted before, counts it and records its latency: this host's steady clock
// at the paint minus the emulator's send time of the frame (header bytes
// 4-11, carried in FrameInfo) and minus the frame's arrival off the channel.
// Both processes read the same steady clock (CLOCK_MONOTONIC).
class PaintProbe : public QObject
{
public:
    explicit PaintProbe(QObject* parent = nullptr);

    void watch(VuCameraWidget* tile);
    // Start or stop recording latencies (counting goes on regardless).
    void setRecording(bool on) { m_recording = on; }

    quint64 painted(VuCameraWidget* tile) const;
    const std::vector<double>& sendToPaintMs() const { return m_sendToPaint; }
    const std::vector<double>& arrivalToPaintMs() const { return m_arrivalToPaint; }
    const std::vector<double>& sendToArrivalMs() const { return m_sendToArrival; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct Tile
    {
        VuCameraWidget* tile = nullptr;
        quint64 lastSendUs = 0;
        quint64 painted = 0;
    };
    QHash<QObject*, Tile> m_tiles; // by video label
    bool m_recording = false;
    std::vector<double> m_sendToPaint;
    std::vector<double> m_arrivalToPaint;
    std::vector<double> m_sendToArrival;
};
