#pragma once

#include <QJsonObject>

// The camera's answer to a motor command (IO-control type 0xF006):
// {"ret": r, "angle": a}; r < 0 means the head could not move (an end stop),
// a is the head's position in hundredths of a turn.
class MotorReply
{
public:
    static constexpr unsigned int IoType = 0xF006;

    enum Kind { Ignored, Invalid, Failed, Moved };

    // Interprets one IO-control event and logs it as the camera session
    // does. Types other than 0xF006 and empty objects are Ignored.
    static MotorReply handle(unsigned int type, const QJsonObject& data);

    Kind kind() const { return m_kind; }
    int ret() const { return m_ret; }
    // Degrees: the reply's angle times 3.6.
    double angle() const { return m_angle; }

private:
    Kind m_kind = Ignored;
    int m_ret = 0;
    double m_angle = 0.0;
};
