#pragma once

#include <QJsonObject>

#include <mutex>

// The emulated camera's pan/tilt head. Positions are in hundredths of a
// turn (the client shows angle x 3.6 degrees). Each motor command moves one
// step; a command against an end stop answers ret -1 and does not move.
class SimPanTilt
{
public:
    static constexpr int Step = 5;
    static constexpr int PanMax = 100;
    static constexpr int TiltMax = 25;

    enum Operation { Left = 1, Right = 2, Up = 3, Down = 4 };

    SimPanTilt(int pan = 50, int tilt = 10);

    // Applies {"operation": D} and returns the reply {"ret","angle"}; an
    // unknown or missing operation answers ret -2.
    QJsonObject command(const QJsonObject& request);
    int pan() const;
    int tilt() const;

private:
    mutable std::mutex m_mutex;
    int m_pan;
    int m_tilt;
};
