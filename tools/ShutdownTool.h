#pragma once

#include "platform/RunHistory.h"
#include "platform/ShutdownArguments.h"
#include "tools/ShutdownBus.h"
#include "tools/ShutdownRecord.h"

#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <memory>

// The shutdown tool: "-s" powers the computer off, "-r" restarts it, both a
// short announced delay ahead through logind so that "-a" can still abort;
// "-a" cancels such a scheduled shutdown or restart. It never shuts down at
// once: when logind cannot schedule the delayed one, the tool fails, and
// tells the user so in a critical notification. The countdown notification
// offers "Abort" and "Postpone 10 minutes"; every text a person sees is in
// the suite's language.
//
// While its shutdown is pending the tool holds a logind "sleep" delay lock:
// before a sleep it takes the shutdown out of logind's armed timer, after it
// puts the same time back, or, when the time passed in the sleep, tells the
// user that nothing happened. It never cancels or overwrites a schedule of
// another program.

// The exit codes; scripts and the task service's log read them.
enum TShutdownExitCode : int {
    ShutdownExitOk = 0,
    ShutdownExitUsage = 2,      // unknown option, missing action, bad delay
    ShutdownExitNoLogind = 3,   // no system bus, or logind not on it
    ShutdownExitNotAllowed = 4, // logind (polkit) refused
    ShutdownExitFailed = 5,     // logind answered with another error
    // The action did not happen and will not: the computer slept through its
    // time, another program cancelled or replaced it, or another program's
    // schedule stood (for "-a": was left as it is).
    ShutdownExitNotRun = 6,
};

class TRunTimeTexts;

class TShutdownTool : public QObject
{
    Q_OBJECT

public:
    // Bus: the buses to use; nullptr uses the real ones, or prints the calls
    // when the options ask for a dry run.
    TShutdownTool(const TShutdownOptions& Options, IShutdownBus* Bus = nullptr);
    ~TShutdownTool() override;

    // Schedules or cancels; for -s/-r then stays, when a notification could be
    // shown, until the time comes, the user aborts or the notification goes.
    int Run();

    // Tests fix "now" (microseconds since the epoch) and the output.
    void SetClock(std::function<qint64()> NowUsec);
    void SetOutput(std::function<void(const QString&)> Out, std::function<void(const QString&)> Err);
    // Ends the wait for the countdown (the program was asked to end): logind
    // keeps the time, and the notification, whose buttons nobody would hear
    // any more, is replaced by one that only names the time.
    void StopWaiting();
    // The texts shown; by default the suite's language.
    void SetTexts(const TRunTimeTexts& Texts);
    // Whether Run waits for the countdown; the dry run never does.
    void SetWaitForCountdown(bool Wait);

private slots:
    void NotificationActionInvoked(uint Id, const QString& Action);
    void NotificationClosed(uint Id, uint Reason);
    void PrepareForSleep(bool Start);

private:
    int Schedule();
    int Abort();
    int CountDown();
    // logind's schedule; false when it cannot be read.
    bool ReadSchedule(TScheduledShutdown& Schedule);
    bool ScheduleAt(const QString& Type, qint64 Usec, QDBusMessage* Reply = nullptr);
    void TakeSleepLock();
    void BeforeSleep();
    // The result for the countdown to end with, or -1 to wait on.
    int AfterSleep();
    // Tells the user, and the history, that the action will not happen.
    int NotRun(RunHistory::TEvent Event, const QString& Summary, const QString& Body, const QString& Details);
    // A change of logind's schedule that is not the tool's own: -1 when there is none.
    // Settled: an empty schedule is not waited on for a sleep that empties it.
    int OutsideChange(const TScheduledShutdown& Logind, bool Settled);
    // "Another program's ... at <time> stands", for a notification's body.
    QString OtherStandsText(const TScheduledShutdown& Other) const;
    bool Postpone();
    bool CancelShutdown(bool& Cancelled, int& ExitCode);
    uint Notify(uint ReplacesId, qint64 SecondsLeft, const QString& Note = QString());
    void CloseNotification();
    void NotifyStanding();
    // Reply: logind's error answer; nullptr when the system bus is not there.
    int Fail(const QDBusMessage* Reply, const QString& What);
    void NotifyFailure(const QString& Reason);
    // Who and why of every inhibitor that blocks a shutdown.
    QList<QPair<QString, QString>> BlockingInhibitors();
    int ReportError(const QDBusMessage& Reply, const QString& What, const QString& Cause = QString());
    QDBusMessage CallLogind(const QString& Method, const QVariantList& Args);
    QString Text(const char* Key, const char* English) const;
    // Stem + "_Shutdown" or Stem + "_Restart", after the action.
    QString ActionText(const char* Stem, const char* Shutdown, const char* Restart) const;
    QString DueText() const;
    QString TypeName() const;
    QString ActionWord() const;

    TShutdownOptions FOptions;
    std::unique_ptr<TRunTimeTexts> FTexts;
    std::unique_ptr<IShutdownBus> FOwnedBus;
    IShutdownBus* FBus = nullptr;
    std::function<qint64()> FNowUsec;
    std::function<void(const QString&)> FOut;
    std::function<void(const QString&)> FErr;
    bool FWait = true;
    qint64 FDueUsec = 0;
    uint FNotificationId = 0;
    bool FAborted = false;
    int FPostponeRequests = 0;
    bool FStopRequested = false;
    bool FNotificationGone = false;
    QDBusUnixFileDescriptor FSleepLock;
    bool FAsleep = false;
    // Before the sleep the tool's schedule became a dry run of logind's.
    bool FParked = false;
    bool FSlept = false;
    // Ticks that found logind's schedule empty: a Suspend() empties it just
    // before its PrepareForSleep.
    int FEmptyTicks = 0;
    // How the waking ended the wait; -1 while it goes on.
    int FEnd = -1;
    qint64 FLastShown = 0;
};
