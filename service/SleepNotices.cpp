#include "service/SleepNotices.h"

#include "service/ServiceLog.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace {

const QString LogindService = QStringLiteral("org.freedesktop.login1");
const QString LogindPath = QStringLiteral("/org/freedesktop/login1");
const QString LogindManager = QStringLiteral("org.freedesktop.login1.Manager");

} // namespace

TSleepNotices::TSleepNotices(QObject* Parent) : QObject(Parent)
{
}

bool TSleepNotices::Start()
{
    QDBusConnection Bus = QDBusConnection::systemBus();
    if (!Bus.isConnected()
        || !Bus.connect(LogindService, LogindPath, LogindManager, QStringLiteral("PrepareForSleep"), this,
            SLOT(PrepareForSleep(bool)))) {
        ServiceLog::Write(QStringLiteral("no system bus: a sleep is seen by the kernel's clocks alone"));
        return false;
    }
    TakeLock();
    return true;
}

void TSleepNotices::TakeLock()
{
    QDBusMessage Inhibit = QDBusMessage::createMethodCall(LogindService, LogindPath, LogindManager, QStringLiteral("Inhibit"));
    Inhibit.setArguments({QStringLiteral("sleep"), QStringLiteral("Lumidor task service"),
        QStringLiteral("Notes that the computer sleeps, so that no run falling in the sleep starts on waking"),
        QStringLiteral("delay")});
    const QDBusMessage Reply = QDBusConnection::systemBus().call(Inhibit, QDBus::Block, 10000);
    if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty()) {
        ServiceLog::Write(QStringLiteral("no sleep delay lock from logind (%1); the kernel's clocks still tell of a sleep")
                              .arg(Reply.errorMessage()));
        return;
    }
    FLock = Reply.arguments().at(0).value<QDBusUnixFileDescriptor>();
}

void TSleepNotices::PrepareForSleep(bool Start)
{
    FWatch.PrepareForSleep(Start);
    if (Start) {
        // Noted: logind may go ahead at once.
        FLock = QDBusUnixFileDescriptor();
        return;
    }
    TakeLock();
}
