#pragma once

#include <QMetaType>

// The steps of a play request, shown on the camera tile.
enum PlayStatus {
    Authing = 0,
    ReadingProperties = 1,
    Connecting = 2,
    WaitingForPlaying = 3,
    Playing = 4,
};

// A camera client's own connection state.
enum class ClientStatus : int {
    Connecting = 0,
    Connected = 1,
    Disconnecting = 2,
    Disconnected = 3,
    Destroying = 4,
};

Q_DECLARE_METATYPE(PlayStatus)
