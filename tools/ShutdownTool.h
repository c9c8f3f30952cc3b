#pragma once

#include "platform/RunHistory.h"
#include "platform/ShutdownArguments.h"
#include "platform/SleepWatch.h"
#include "tools/ShutdownBus.h"

#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariantList>
#include <functional>
#include <memory>

// The shutdown tool: "-s" powers the computer off, "-r" restarts it, after a
// countdown that it keeps itself on the wall clock, with a notification that
// offers "Abort" and "Postpone 10 minutes". Only when the time comes does it
// ask logind, once and without interaction, for PowerOff or Reboot, so that
// logind weighs the user's rights and every block lock at that very moment; a
// refusal is told in a critical notification, and the tool never tries
// another way. Nothing of the countdown lives in logind: a sleep cannot fire
// it, and a time that passed while the computer slept is told, never caught
// up. "-a" stops the countdown of this user; one countdown runs at a time.
// Every text a person sees is in the suite's language.

// The exit codes; scripts and the task service's log read them.
enum TShutdownExitCode : int {
    ShutdownExitOk = 0,
    ShutdownExitUsage = 2,      // unknown option, missing action, bad delay
    ShutdownExitNoLogind = 3,   // no system bus, or logind not on it
    ShutdownExitNotAllowed = 4, // logind (polkit) refused, or another user's block lock
    ShutdownExitFailed = 5,     // logind answered with another error; "-a" could not stop a countdown
    // The action did not happen and will not: the computer slept through its
    // time, the clock was set past it, the tool was asked to end, or another
    // countdown of Lumidor's was already under way.
    ShutdownExitNotRun = 6,
};

class QTimer;
class TCountdownChannel;
class TRunTimeTexts;

class TShutdownTool : public QObject
{
    Q_OBJECT

public:
    // Bus: the buses to use; nullptr uses the real ones, or prints the calls
    // when the options ask for a dry run.
    TShutdownTool(const TShutdownOptions& Options, IShutdownBus* Bus = nullptr);
    ~TShutdownTool() override;

    // For -s/-r counts down and acts, or says why not; for -a stops the countdown.
    int Run();

    // Tests fix "now" (microseconds since the epoch), the kernel's clocks,
    // the countdown's step and the output.
    void SetClock(std::function<qint64()> NowUsec);
    void SetSleepClocks(TSleepWatch::TClocks Clocks);
    void SetStepMs(int Ms);
    void SetOutput(std::function<void(const QString&)> Out, std::function<void(const QString&)> Err);
    // The program was asked to end (SIGTERM): the countdown stops, nothing happens.
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
    int CountDown();
    int Abort();
    // One look at the clocks and the requests; the exit code, or -1 to wait on.
    int Step();
    // Steps at once after a request, rather than at the next second.
    void StepSoon();
    // After a sleep or a setting of the clock: -1, or how the countdown ends.
    int AfterJump();
    // Asks logind for the action, now.
    int Act();
    void Postpone();
    qint64 LeftSeconds() const;
    // Tells the user, and the history, that the action will not happen.
    int NotRun(RunHistory::TEvent Event, const QString& Summary, const QString& Body, const QString& Details);
    // Reply: logind's error answer; nullptr when the system bus is not there.
    int Fail(const QDBusMessage* Reply, const QString& What);
    // In place of the countdown; stays until the user closes it.
    void NotifyFailure(const QString& Summary, const QString& Reason, const QString& Icon);
    // Who and why of every other user's lock that blocks a shutdown.
    QList<QPair<QString, QString>> BlockingInhibitors();
    int ReportError(const QDBusMessage& Reply, const QString& What, const QString& Cause = QString());
    QDBusMessage CallLogind(const QString& Method, const QVariantList& Args);
    uint Notify(uint ReplacesId, qint64 SecondsLeft);
    void CloseNotification();
    QString Text(const char* Key, const char* English) const;
    // Stem + "_Shutdown" or Stem + "_Restart", after the action.
    QString ActionText(const char* Stem, const char* Shutdown, const char* Restart) const;
    QString TimeText(qint64 Usec) const;
    QString IsoText(qint64 Usec) const;
    QString ActionWord() const;

    TShutdownOptions FOptions;
    std::unique_ptr<TRunTimeTexts> FTexts;
    std::unique_ptr<IShutdownBus> FOwnedBus;
    IShutdownBus* FBus = nullptr;
    std::unique_ptr<TCountdownChannel> FChannel;
    QTimer* FTick = nullptr;
    TSleepWatch FSleep;
    std::function<qint64()> FNowUsec;
    std::function<void(const QString&)> FOut;
    std::function<void(const QString&)> FErr;
    bool FWait = true;
    int FStepMs = 1000;
    qint64 FLeadUsec = 0;
    qint64 FDueUsec = 0;
    uint FNotificationId = 0;
    // Closed by the user: not shown again until the time moves.
    bool FDismissed = false;
    qint64 FLastShown = 0;
    // A line under the countdown's text, after the time moved.
    QString FNote;
    enum class TStop { None, Abort, AbortByCommand, End } FStop = TStop::None;
    int FPostponeRequests = 0;
    bool FWoke = false;
};
