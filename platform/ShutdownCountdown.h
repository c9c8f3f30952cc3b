#pragma once

#include <QObject>
#include <QString>

#include "platform/FileLock.h"

class QLocalServer;
class QLocalSocket;

// The shutdown tool's countdown as other programs see it: one per user at a
// time, marked by a lock file that its holder keeps for its whole life, and a
// local socket beside it on which the holder takes "-a". Both live in the
// user's private runtime folder; nothing of a countdown lives in logind.
//
// On the socket a client sends "abort\n"; the holder answers "aborted\n"
// once it will not act any more, and closes. A holder that has reached its
// moment no longer listens.
namespace ShutdownCountdown {

// $XDG_RUNTIME_DIR/lumidor when that is a folder of ours closed to others
// (the service, the desktop and an ssh login all get the same one), else
// the instance lock's folder; empty when neither can be had.
QString Folder();

// Whether a countdown of this user holds its lock now.
bool Running();

enum class TAbort {
    NothingToAbort, // no countdown runs
    Aborted,        // the countdown answered that it stopped
    NotStopped,     // one runs but did not answer: it is at its moment, or hangs
};
// Asks the running countdown to stop and waits for its answer, up to
// TimeoutMs. Needs no event loop.
TAbort Abort(int TimeoutMs = 5000);

} // namespace ShutdownCountdown

// The countdown's own side.
class TCountdownChannel : public QObject
{
    Q_OBJECT

public:
    enum TState { Held, Busy, Failed };

    explicit TCountdownChannel(QObject* Parent = nullptr);
    ~TCountdownChannel() override;

    // Takes the lock without waiting and listens. Busy: another countdown
    // holds it. Failed: no private folder, or the socket cannot be opened.
    TState Open();
    // Stops listening and keeps the lock: the moment has come, "-a" is too late.
    void StopListening();
    QString ErrorText() const { return FError; }

signals:
    // A client asked to abort; it has already been told "aborted", so the
    // receiver must not act any more.
    void AbortRequested();

private:
    void Accept();
    void Read(QLocalSocket* Socket);

    TFileLock FLock;
    QLocalServer* FServer = nullptr;
    QString FError;
};
