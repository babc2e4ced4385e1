#include "browser/mcefclientapp.h"

#include <QByteArrayList>

MCefClientApp::MCefClientApp(const QByteArray& locale)
    : m_locale(locale)
{
}

QByteArray MCefClientApp::switches() const
{
    // No runtime log: the engine writes nothing to stderr below fatal level.
    QByteArrayList list{"--disable-logging", "--log-level=3"};
    if (!m_locale.isEmpty())
        list << "--lang=" + m_locale;
    return list.join(' ');
}

void MCefClientApp::apply() const
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").trimmed();
    const QByteArray own = switches();
    if (flags.contains(own))
        return;
    if (!flags.isEmpty())
        flags += ' ';
    flags += own;
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}
