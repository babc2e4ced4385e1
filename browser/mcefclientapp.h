#pragma once

#include <QByteArray>

// Process-level part of the browser runtime: the command-line switches of
// the engine's browser process. They are read once, when the engine starts
// (the first profile or page), so apply() must run before that.
class MCefClientApp
{
public:
    explicit MCefClientApp(const QByteArray& locale);

    // Adds the switches to QTWEBENGINE_CHROMIUM_FLAGS, keeping what is there
    // (e.g. --no-sandbox given by the environment).
    void apply() const;
    QByteArray switches() const;

private:
    QByteArray m_locale;
};
