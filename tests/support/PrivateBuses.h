#pragma once

// A private system bus and a private session bus (real dbus-daemons on
// sockets in the test's folder), with python3-dbusmock's logind (extended by
// logind_schedule.py) on the first and its notification daemon on the second.
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

    // ScheduleShutdown answers with this D-Bus error from now on; "" for none.
    bool SetScheduleError(const QString& ErrorName);
    // An inhibitor that ListInhibitors reports.
    bool AddInhibitor(const QString& What, const QString& Who, const QString& Why, const QString& Mode);
    // The notification server tells that the user invoked an action.
    bool EmitActionInvoked(uint Id, const QString& ActionKey);
    // logind's ScheduledShutdown property: type and time in microseconds.
    bool ScheduledShutdown(QString& Type, qulonglong& Usec) const;

    // A call on logind's manager as another program makes it ("Suspend" as a
    // desktop's menu, "CancelScheduledShutdown" as "shutdown -c").
    bool CallLogind(const QString& Method, const QVariantList& Args);
    // The mock logind's sleep (see logind_schedule.py): which release's rule
    // CancelScheduledShutdown follows (252 or 257), a sleep by the lid (the
    // schedule stays armed) or by Suspend() (logind resets it first), the
    // waking, and what it saw.
    bool SetLogindVersion(uint Version);
    bool SleepByLid();
    bool Wake();
    QString SleepState() const;
    struct TSleep
    {
        QString How;
        QString Outcome; // "slept" or "cancelled"
        QString Armed;   // what was scheduled as it slept: "", "dry-poweroff", "poweroff" ...
        qulonglong Usec = 0;
    };
    QList<TSleep> Sleeps() const;
    // Armed shutdowns that had expired when the computer woke: they would have acted.
    uint Fired() const;
    // What, who and mode of every inhibitor logind holds.
    QStringList Inhibitors() const;

private:
    bool StartBus(TBus Bus, QString& Error);
    bool StartMock(TBus Bus, const QString& Template, const QString& Name, QString& Error);
    QList<TMockCall> Calls(TBus Bus, const QString& Path) const;
    bool CallMock(TBus Bus, const QString& Path, const QString& Method, const QVariantList& Args);
    QDBusMessage AskMock(const QString& Method) const;

    QString FFolder;
    QString FAddress[2];
    QString FConnectionName[2];
    std::vector<std::unique_ptr<QProcess>> FStarted;
};
