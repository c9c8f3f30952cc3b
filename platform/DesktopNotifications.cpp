#include "platform/DesktopNotifications.h"

#include <QVariantMap>

namespace DesktopNotifications {

QDBusMessage NotifyMessage(const TNotification& Notification)
{
    QDBusMessage Message = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    QVariantMap Hints;
    Hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(Notification.Urgency)));
    if (!Notification.DesktopEntry.isEmpty())
        Hints.insert(QStringLiteral("desktop-entry"), Notification.DesktopEntry);
    Message.setArguments({QStringLiteral("Lumidor"), QVariant::fromValue(Notification.ReplacesId), Notification.Icon,
        Notification.Summary, Notification.Body, Notification.Actions, Hints,
        QVariant::fromValue(Notification.ExpireMs)});
    return Message;
}

QDBusMessage CloseMessage(uint Id)
{
    QDBusMessage Message = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("CloseNotification"));
    Message.setArguments({QVariant::fromValue(Id)});
    return Message;
}

} // namespace DesktopNotifications
