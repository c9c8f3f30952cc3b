#include "service/UserSession.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <paths.h>
#include <utmpx.h>

namespace {

enum class TLogindAnswer { Yes, No, Unknown };

TLogindAnswer AskLogind(uid_t Uid)
{
    QDBusConnection Bus = QDBusConnection::systemBus();
    if (!Bus.isConnected())
        return TLogindAnswer::Unknown;
    QDBusMessage GetUser = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("GetUser"));
    GetUser.setArguments({QVariant::fromValue(uint(Uid))});
    const QDBusMessage User = Bus.call(GetUser, QDBus::Block, 5000);
    if (User.type() == QDBusMessage::ErrorMessage) {
        // logind answers and knows no such user: no session, no lingering.
        if (User.errorName() == QLatin1String("org.freedesktop.login1.NoSuchUser"))
            return TLogindAnswer::No;
        return TLogindAnswer::Unknown;
    }
    if (User.arguments().isEmpty())
        return TLogindAnswer::Unknown;
    const QString Path = User.arguments().at(0).value<QDBusObjectPath>().path();
    QDBusMessage Get = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"), Path,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    Get.setArguments({QStringLiteral("org.freedesktop.login1.User"), QStringLiteral("State")});
    const QDBusMessage State = Bus.call(Get, QDBus::Block, 5000);
    if (State.type() != QDBusMessage::ReplyMessage || State.arguments().isEmpty())
        return TLogindAnswer::Unknown;
    const QString Value = qvariant_cast<QDBusVariant>(State.arguments().at(0)).variant().toString();
    return Value == QLatin1String("active") || Value == QLatin1String("online") ? TLogindAnswer::Yes : TLogindAnswer::No;
}

} // namespace

bool UserInUtmp(const QString& UserName, const QString& UtmpFile)
{
    const QByteArray Name = UserName.toLocal8Bit();
    const QByteArray File = QFile::encodeName(UtmpFile.isEmpty() ? QStringLiteral(_PATH_UTMPX) : UtmpFile);
    if (utmpxname(File.constData()) != 0)
        return false;
    setutxent();
    bool Found = false;
    while (const utmpx* Entry = getutxent()) {
        if (Entry->ut_type != USER_PROCESS)
            continue;
        if (strncmp(Entry->ut_user, Name.constData(), sizeof Entry->ut_user) != 0)
            continue;
        // A crashed login leaves its entry behind; its process is gone.
        if (Entry->ut_pid > 0 && ::kill(Entry->ut_pid, 0) != 0 && errno == ESRCH)
            continue;
        Found = true;
        break;
    }
    endutxent();
    (void)utmpxname(_PATH_UTMPX);
    return Found;
}

bool UserHasSession(uid_t Uid, const QString& UserName, const QString& UtmpFile)
{
    if (!UtmpFile.isEmpty())
        return UserInUtmp(UserName, UtmpFile);
    switch (AskLogind(Uid)) {
    case TLogindAnswer::Yes:
        return true;
    case TLogindAnswer::No:
        return false;
    case TLogindAnswer::Unknown:
        break;
    }
    return UserInUtmp(UserName, QString());
}
