#pragma once

#include <QByteArray>
#include <QList>

// The end of a launch's feedback on X11, after the freedesktop
// startup-notification protocol: a launcher shows a busy cursor for the
// startup id it gave a program until the program says "remove" for it (or its
// own time-out runs out). A start that only wakes the first instance shows no
// window of its own, so it must say it itself.
namespace StartupNotification {

// "remove: ID=<id>", the id quoted with " and \ escaped.
QByteArray RemoveMessage(const QByteArray& StartupId);

// A message as the protocol sends it in client messages of format 8 to the
// root window: with its terminating NUL, in pieces of 20 bytes (the first
// of type _NET_STARTUP_INFO_BEGIN, the rest _NET_STARTUP_INFO), the last
// padded with NULs.
QList<QByteArray> Pieces(const QByteArray& Message);

} // namespace StartupNotification
