#pragma once

#include <QDBusMessage>
#include <QString>
#include <QStringList>

// The desktop's notification server (org.freedesktop.Notifications on the
// session bus): its names, and the messages that show and close a notification.
namespace DesktopNotifications {

inline const QString Service = QStringLiteral("org.freedesktop.Notifications");
inline const QString Path = QStringLiteral("/org/freedesktop/Notifications");
inline const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// The server's signals: an action chosen, a notification gone.
inline const QString ActionInvokedSignal = QStringLiteral("ActionInvoked");
inline const QString ClosedSignal = QStringLiteral("NotificationClosed");

enum class TUrgency : uchar { Low = 0, Normal = 1, Critical = 2 };

struct TNotification
{
    // The notification it replaces; 0 for a new one.
    uint ReplacesId = 0;
    QString Icon;
    QString Summary;
    QString Body;
    // Pairs of an action's key and the label of its button.
    QStringList Actions;
    TUrgency Urgency = TUrgency::Normal;
    QString DesktopEntry;
    // 0: stays until closed; -1: as long as the server sees fit.
    int ExpireMs = 0;
};

// Notify(susssasa{sv}i) from "Lumidor"; its answer holds the notification's id.
QDBusMessage NotifyMessage(const TNotification& Notification);
QDBusMessage CloseMessage(uint Id);

} // namespace DesktopNotifications
