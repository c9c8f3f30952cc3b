#pragma once

// A private system bus and a private session bus (real dbus-daemons on
// sockets in the test's folder), with python3-dbusmock's logind (extended by
// logind_mock.py) on the first and its notification daemon on the second.
// Nothing here talks to the machine's own buses: programs the test starts get
// Environment(), which points both bus addresses at the private ones.

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

struct TMockCall
{
    QString Method;
    QVariantList Args;
};

class TPrivateBuses
{
public:
    enum TBus { System, Session };

    // Folder: the test's temporary folder, for sockets, configuration and logs.
    explicit TPrivateBuses(const QString& Folder);
    // Ends every process it started and waits for them, also after a failure.
    ~TPrivateBuses();
    TPrivateBuses(const TPrivateBuses&) = delete;
    TPrivateBuses& operator=(const TPrivateBuses&) = delete;

    // Starts both buses and both mocks; false with Error when one does not come up.
    bool Start(QString& Error);

    QString Address(TBus Bus) const;
    // Base with both bus addresses set to the private buses.
    QProcessEnvironment Environment(QProcessEnvironment Base = QProcessEnvironment::systemEnvironment()) const;
    QDBusConnection Connection(TBus Bus) const;

    // Every call the mock received, oldest first, without the test's own
    // calls on the mock interface.
    QList<TMockCall> LogindCalls() const;
    QList<TMockCall> NotificationCalls() const;
    QList<TMockCall> CallsOf(const QList<TMockCall>& Calls, const QString& Method) const;
    // Waits until Count calls of Method reached the mock.
    bool WaitForCalls(TBus Bus, const QString& Method, int Count, int TimeoutMs = 10000) const;

    // What polkit answers the user for the action itself: "yes", "challenge" or "no".
    bool SetPolkit(const QString& Answer);
    // Another program's lock, as ListInhibitors reports it.
    bool AddInhibitor(const QString& What, const QString& Who, const QString& Why, const QString& Mode, uint Uid);
    // The notification server tells that the user invoked an action.
    bool EmitActionInvoked(uint Id, const QString& ActionKey);
    // logind's ScheduledShutdown property: type and time in microseconds.
    bool ScheduledShutdown(QString& Type, qulonglong& Usec) const;

    // A call on logind's manager as another program makes it ("Suspend" as a
    // desktop's menu, "ScheduleShutdown" as an administrator's "shutdown +60").
    bool CallLogind(const QString& Method, const QVariantList& Args);
    // The same, with logind's error name as the answer; empty when it did it.
    QString LogindError(const QString& Method, const QVariantList& Args);
    // The mock logind (see logind_mock.py): which release it acts as (252 or
    // 257), a sleep by the lid, the waking, and what it did.
    bool SetLogindVersion(uint Version);
    bool SleepByLid();
    bool Wake();
    QString SleepState() const;
    struct TAction
    {
        QString Handle; // "poweroff", "reboot", "suspend", ...
        QString How;    // "call" (asked for), "lid", "timer" (a scheduled shutdown fired)
        qulonglong Usec = 0;
    };
    // What logind carried out, oldest first.
    QList<TAction> Actions() const;
    QStringList WallMessages() const;
    // Whether logind ever made its /run/nologin (a file in the test's folder).
    bool NologinMade() const;
    // What, who and mode of every inhibitor logind holds.
    QStringList Inhibitors() const;

private:
    bool StartBus(TBus Bus, QString& Error);
    bool StartMock(TBus Bus, const QString& Template, const QString& Name, QString& Error,
        const QString& Parameters = QString());
    QList<TMockCall> Calls(TBus Bus, const QString& Path) const;
    bool CallMock(TBus Bus, const QString& Path, const QString& Method, const QVariantList& Args);
    QDBusMessage AskMock(const QString& Method) const;

    QString FFolder;
    QString FAddress[2];
    QString FConnectionName[2];
    std::vector<std::unique_ptr<QProcess>> FStarted;
};
