#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <sys/types.h>

class QSocketNotifier;

// One run of a work item's program: started with posix_spawn (no shell) in
// its own session, in its working directory, with the environment given,
// standard input from /dev/null and both outputs on the service's standard
// error (the service's log). Nothing else of the service is inherited, so a
// run may outlive the service that started it.
class TTaskProcess : public QObject
{
    Q_OBJECT

public:
    explicit TTaskProcess(QObject* Parent = nullptr);
    ~TTaskProcess() override;

    // False, with the reason, when the program could not be started.
    bool Start(const QString& Program, const QStringList& Arguments, const QString& WorkingDirectory,
        const QStringList& Environment, QString& ErrorText);
    pid_t Pid() const { return FPid; }
    void Terminate();

signals:
    // ExitCode: the program's, or 128 + the signal that ended it.
    void Finished(int ExitCode, int Signal);

private:
    void Reap();

    pid_t FPid = -1;
    int FPidFd = -1;
    QSocketNotifier* FNotifier = nullptr;
};

// The clean environment of a run: the user's identity and home from the
// account, a plain PATH, and the variables of the user's session (display,
// session bus, runtime folder, locale, desktop) as the service has them.
QStringList TaskEnvironment();
