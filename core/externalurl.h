#pragma once

#include <QString>
#include <QUrl>

// Addresses that come from the network (a cloud reply, the settings file)
// and are then fetched or handed to the desktop: only plain web addresses
// pass, never file:, data:, javascript: or a custom scheme that would start
// another program.
namespace ExternalUrl {

// The address when it is a valid http or https URL with a host; otherwise an
// empty QUrl (nothing is logged: the caller says what was refused).
QUrl webUrl(const QString& text);
QUrl webUrl(const QUrl& url);

} // namespace ExternalUrl
