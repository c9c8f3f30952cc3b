#include "support/PrivateBuses.h"

#include "support/ProcessSweep.h"

#include "platform/DesktopNotifications.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace {

const QString MockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
const QString LogindName = QStringLiteral("org.freedesktop.login1");
const QString LogindPath = QStringLiteral("/org/freedesktop/login1");
const QString NotificationsName = DesktopNotifications::Service;
const QString NotificationsPath = DesktopNotifications::Path;
const QString Python = QStringLiteral("/usr/bin/python3");

// A bus that lets everyone own, send and receive anything, on a socket of its own.
QByteArray BusConfig(const QString& Socket)
{
    return QStringLiteral(
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n"
        "  <type>custom</type>\n"
        "  <listen>unix:path=%1</listen>\n"
        "  <auth>EXTERNAL</auth>\n"
        "  <policy context=\"default\">\n"
        "    <allow user=\"*\"/>\n"
        "    <allow own=\"*\"/>\n"
        "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
        "    <allow receive_sender=\"*\"/>\n"
        "  </policy>\n"
        "</busconfig>\n")
        .arg(Socket.toHtmlEscaped())
        .toUtf8();
}

bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs)
{
    QDeadlineTimer Deadline(TimeoutMs);
    while (!Done()) {
        if (Deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace

TPrivateBuses::TPrivateBuses(const QString& Folder) : FFolder(Folder)
{
}

TPrivateBuses::~TPrivateBuses()
{
    for (const QString& Name : FConnectionName)
        if (!Name.isEmpty())
            QDBusConnection::disconnectFromBus(Name);
    EndStartedPrograms(FStarted, FFolder);
}

bool TPrivateBuses::Start(QString& Error)
{
    return StartBus(System, Error) && StartBus(Session, Error)
        && StartMock(System, QStringLiteral(LUMIDOR_SOURCE_DIR "/tests/support/logind_mock.py"), LogindName, Error,
            QStringLiteral("{\"NologinPath\": \"%1/nologin\"}").arg(FFolder))
        && StartMock(Session, QStringLiteral("notification_daemon"), NotificationsName, Error);
}

bool TPrivateBuses::StartBus(TBus Bus, QString& Error)
{
    const QString Name = Bus == System ? QStringLiteral("system") : QStringLiteral("session");
    const QString ConfigPath = FFolder + QStringLiteral("/%1-bus.conf").arg(Name);
    QFile Config(ConfigPath);
    if (!Config.open(QIODevice::WriteOnly) || Config.write(BusConfig(FFolder + QStringLiteral("/%1-bus").arg(Name))) < 0) {
        Error = QStringLiteral("cannot write %1").arg(ConfigPath);
        return false;
    }
    Config.close();

    auto Daemon = std::make_unique<QProcess>();
    Daemon->setProcessChannelMode(QProcess::SeparateChannels);
    Daemon->setStandardErrorFile(FFolder + QStringLiteral("/%1-bus.log").arg(Name));
    Daemon->start(QStringLiteral("dbus-daemon"),
        {QStringLiteral("--config-file=") + ConfigPath, QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QProcess* P = Daemon.get();
    FStarted.push_back(std::move(Daemon));
    if (!P->waitForStarted(10000)) {
        Error = QStringLiteral("dbus-daemon does not start: %1").arg(P->errorString());
        return false;
    }
    QDeadlineTimer Deadline(10000);
    while (!P->canReadLine()) {
        if (Deadline.hasExpired() || !P->waitForReadyRead(int(Deadline.remainingTime()))) {
            Error = QStringLiteral("dbus-daemon gives no address");
            return false;
        }
    }
    FAddress[Bus] = QString::fromUtf8(P->readLine()).trimmed();
    FConnectionName[Bus] = QStringLiteral("lumidor-test-%1-%2").arg(Name, FFolder);
    const QDBusConnection C = QDBusConnection::connectToBus(FAddress[Bus], FConnectionName[Bus]);
    if (!C.isConnected()) {
        Error = QStringLiteral("cannot connect to the private %1 bus: %2").arg(Name, C.lastError().message());
        return false;
    }
    return true;
}

bool TPrivateBuses::StartMock(TBus Bus, const QString& Template, const QString& Name, QString& Error,
    const QString& Parameters)
{
    auto Mock = std::make_unique<QProcess>();
    Mock->setProcessEnvironment(Environment());
    const QString Log = FFolder + QStringLiteral("/mock-%1.log").arg(Name);
    Mock->setStandardOutputFile(Log);
    Mock->setStandardErrorFile(Log, QIODevice::Append);
    QStringList Args{QStringLiteral("-m"), QStringLiteral("dbusmock"),
        Bus == System ? QStringLiteral("--system") : QStringLiteral("--session"), QStringLiteral("--template"), Template};
    if (!Parameters.isEmpty())
        Args << QStringLiteral("--parameters") << Parameters;
    Mock->start(Python, Args);
    QProcess* P = Mock.get();
    FStarted.push_back(std::move(Mock));
    if (!P->waitForStarted(10000)) {
        Error = QStringLiteral("%1 does not start: %2").arg(Python, P->errorString());
        return false;
    }
    const QDBusConnection C = Connection(Bus);
    if (!WaitUntil([&] { return P->state() != QProcess::Running || C.interface()->isServiceRegistered(Name); }, 20000)
        || P->state() != QProcess::Running) {
        QFile LogFile(Log);
        (void)LogFile.open(QIODevice::ReadOnly);
        Error = QStringLiteral("python3-dbusmock gives no %1: %2").arg(Name, QString::fromUtf8(LogFile.readAll()));
        return false;
    }
    return true;
}

QString TPrivateBuses::Address(TBus Bus) const
{
    return FAddress[Bus];
}

QProcessEnvironment TPrivateBuses::Environment(QProcessEnvironment Base) const
{
    Base.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), FAddress[System]);
    Base.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), FAddress[Session]);
    return Base;
}

QDBusConnection TPrivateBuses::Connection(TBus Bus) const
{
    return QDBusConnection(FConnectionName[Bus]);
}

QList<TMockCall> TPrivateBuses::Calls(TBus Bus, const QString& Path) const
{
    const QString Name = Bus == System ? LogindName : NotificationsName;
    const QDBusMessage Reply = Connection(Bus).call(
        QDBusMessage::createMethodCall(Name, Path, MockInterface, QStringLiteral("GetCalls")), QDBus::Block, 10000);
    QList<TMockCall> Out;
    if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty())
        return Out;
    const QDBusArgument Arg = Reply.arguments().at(0).value<QDBusArgument>();
    Arg.beginArray();
    while (!Arg.atEnd()) {
        qulonglong Time = 0;
        TMockCall Call;
        Arg.beginStructure();
        Arg >> Time >> Call.Method >> Call.Args;
        Arg.endStructure();
        static const QStringList TestOnly{"SetPolkit", "AddInhibitor", "EmitSignal", "GetCalls", "GetMethodCalls",
            "SetVersion", "SleepByLid", "Wake", "Actions", "WallMessages", "NologinMade", "SleepState", "Inhibitors"};
        if (!TestOnly.contains(Call.Method))
            Out.append(Call);
    }
    Arg.endArray();
    return Out;
}

QList<TMockCall> TPrivateBuses::LogindCalls() const
{
    return Calls(System, LogindPath);
}

QList<TMockCall> TPrivateBuses::NotificationCalls() const
{
    return Calls(Session, NotificationsPath);
}

QList<TMockCall> TPrivateBuses::CallsOf(const QList<TMockCall>& Calls, const QString& Method) const
{
    QList<TMockCall> Out;
    for (const TMockCall& Call : Calls)
        if (Call.Method == Method)
            Out.append(Call);
    return Out;
}

bool TPrivateBuses::WaitForCalls(TBus Bus, const QString& Method, int Count, int TimeoutMs) const
{
    return WaitUntil([&] {
        return CallsOf(Bus == System ? LogindCalls() : NotificationCalls(), Method).size() >= Count;
    }, TimeoutMs);
}

bool TPrivateBuses::CallMock(TBus Bus, const QString& Path, const QString& Method, const QVariantList& Args)
{
    QDBusMessage Message = QDBusMessage::createMethodCall(
        Bus == System ? LogindName : NotificationsName, Path, MockInterface, Method);
    Message.setArguments(Args);
    return Connection(Bus).call(Message, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

bool TPrivateBuses::SetPolkit(const QString& Answer)
{
    return CallMock(System, LogindPath, QStringLiteral("SetPolkit"), {Answer});
}

bool TPrivateBuses::AddInhibitor(const QString& What, const QString& Who, const QString& Why, const QString& Mode, uint Uid)
{
    return CallMock(System, LogindPath, QStringLiteral("AddInhibitor"), {What, Who, Why, Mode, QVariant::fromValue(Uid)});
}

bool TPrivateBuses::EmitActionInvoked(uint Id, const QString& ActionKey)
{
    // Each element goes out as a variant of its own type: "u" and "s".
    const QVariantList SignalArgs{QVariant::fromValue(Id), ActionKey};
    return CallMock(Session, NotificationsPath, QStringLiteral("EmitSignal"),
        {DesktopNotifications::Interface, DesktopNotifications::ActionInvokedSignal, QStringLiteral("us"),
            QVariant::fromValue(SignalArgs)});
}

bool TPrivateBuses::ScheduledShutdown(QString& Type, qulonglong& Usec) const
{
    QDBusMessage Get = QDBusMessage::createMethodCall(
        LogindName, LogindPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    Get.setArguments({QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ScheduledShutdown")});
    const QDBusMessage Reply = Connection(System).call(Get, QDBus::Block, 10000);
    if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty())
        return false;
    const QDBusArgument Arg = Reply.arguments().at(0).value<QDBusVariant>().variant().value<QDBusArgument>();
    Arg.beginStructure();
    Arg >> Type >> Usec;
    Arg.endStructure();
    return true;
}

bool TPrivateBuses::SetLogindVersion(uint Version)
{
    return CallMock(System, LogindPath, QStringLiteral("SetVersion"), {QVariant::fromValue(Version)});
}

bool TPrivateBuses::SleepByLid()
{
    return CallMock(System, LogindPath, QStringLiteral("SleepByLid"), {});
}

bool TPrivateBuses::CallLogind(const QString& Method, const QVariantList& Args)
{
    return LogindError(Method, Args).isEmpty();
}

QString TPrivateBuses::LogindError(const QString& Method, const QVariantList& Args)
{
    QDBusMessage Call
        = QDBusMessage::createMethodCall(LogindName, LogindPath, QStringLiteral("org.freedesktop.login1.Manager"), Method);
    Call.setArguments(Args);
    const QDBusMessage Reply = Connection(System).call(Call, QDBus::Block, 10000);
    return Reply.type() == QDBusMessage::ReplyMessage ? QString() : Reply.errorName();
}

bool TPrivateBuses::Wake()
{
    return CallMock(System, LogindPath, QStringLiteral("Wake"), {});
}

QDBusMessage TPrivateBuses::AskMock(const QString& Method) const
{
    return Connection(System).call(
        QDBusMessage::createMethodCall(LogindName, LogindPath, MockInterface, Method), QDBus::Block, 10000);
}

QString TPrivateBuses::SleepState() const
{
    const QDBusMessage Reply = AskMock(QStringLiteral("SleepState"));
    return Reply.arguments().isEmpty() ? QString() : Reply.arguments().at(0).toString();
}

QList<TPrivateBuses::TAction> TPrivateBuses::Actions() const
{
    QList<TAction> Out;
    const QDBusMessage Reply = AskMock(QStringLiteral("Actions"));
    if (Reply.arguments().isEmpty())
        return Out;
    const QDBusArgument Arg = Reply.arguments().at(0).value<QDBusArgument>();
    Arg.beginArray();
    while (!Arg.atEnd()) {
        TAction Action;
        Arg.beginStructure();
        Arg >> Action.Handle >> Action.How >> Action.Usec;
        Arg.endStructure();
        Out.append(Action);
    }
    Arg.endArray();
    return Out;
}

QStringList TPrivateBuses::WallMessages() const
{
    const QDBusMessage Reply = AskMock(QStringLiteral("WallMessages"));
    return Reply.arguments().isEmpty() ? QStringList() : Reply.arguments().at(0).toStringList();
}

bool TPrivateBuses::NologinMade() const
{
    const QDBusMessage Reply = AskMock(QStringLiteral("NologinMade"));
    return !Reply.arguments().isEmpty() && Reply.arguments().at(0).toBool();
}

QStringList TPrivateBuses::Inhibitors() const
{
    const QDBusMessage Reply = AskMock(QStringLiteral("Inhibitors"));
    return Reply.arguments().isEmpty() ? QStringList() : Reply.arguments().at(0).toStringList();
}
