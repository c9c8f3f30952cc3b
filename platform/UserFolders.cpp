#include "platform/UserFolders.h"

#include "platform/UserAccount.h"

#include <QDir>

#include <unistd.h>

namespace {

QString AbsoluteOrEmpty(const QString& Path)
{
    return QDir::isAbsolutePath(Path) ? QDir::cleanPath(Path) : QString();
}

// The variable's folder, else Default below the home. Without a home the
// data and state folders fall back on the root, as Qt's home path does,
// rather than on a path relative to wherever the program was started.
QString BaseFolder(const char* Variable, const QString& Default)
{
    const QString Configured = AbsoluteOrEmpty(qEnvironmentVariable(Variable));
    if (!Configured.isEmpty())
        return Configured;
    const QString Home = UserFolders::Home();
    return QDir::cleanPath((Home.isEmpty() ? QStringLiteral("/") : Home) + Default);
}

} // namespace

namespace UserFolders {

QString Home()
{
    const QString Home = AbsoluteOrEmpty(qEnvironmentVariable("HOME"));
    if (!Home.isEmpty())
        return Home;
    const std::optional<TUserAccount> Account = UserAccount::ByUid(geteuid());
    return Account ? AbsoluteOrEmpty(Account->Home) : QString();
}

QString Config()
{
    const QString Configured = AbsoluteOrEmpty(qEnvironmentVariable("XDG_CONFIG_HOME"));
    if (!Configured.isEmpty())
        return Configured;
    const QString Home = UserFolders::Home();
    return Home.isEmpty() ? QString() : QDir::cleanPath(Home + QStringLiteral("/.config"));
}

QString CommonConfig()
{
    const QStringList Dirs = qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& Dir : Dirs) {
        const QString Path = AbsoluteOrEmpty(Dir);
        if (!Path.isEmpty())
            return Path;
    }
    return QStringLiteral("/etc/xdg");
}

QString Data()
{
    return BaseFolder("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

QString State()
{
    return BaseFolder("XDG_STATE_HOME", QStringLiteral("/.local/state"));
}

QString TaskStore()
{
    return Data() + QStringLiteral("/lumidor/tasks");
}

QString HistoryFile()
{
    return State() + QStringLiteral("/lumidor/history.log");
}

QString ErrorLog()
{
    return State() + QStringLiteral("/lumidor/errors.log");
}

} // namespace UserFolders
