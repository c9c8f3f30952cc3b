#pragma once

#include "platform/SleepWatch.h"

#include <QDBusUnixFileDescriptor>
#include <QObject>

// logind's word on sleep for the task service: PrepareForSleep from the
// system bus, and a "sleep" lock in delay mode (never one that blocks) that
// the service lets go of only once it has noted the sleep, so that a run
// whose moment falls in the sleep is known to be missed whatever the order
// of the events on waking. The kernel's clocks in the watch tell of a sleep
// that logind did not announce.
class TSleepNotices : public QObject
{
    Q_OBJECT

public:
    explicit TSleepNotices(QObject* Parent = nullptr);

    // Listens and takes the lock; false without a system bus or logind, and
    // the watch then has the kernel's clocks alone.
    bool Start();
    TSleepWatch& Watch() { return FWatch; }

private slots:
    void PrepareForSleep(bool Start);

private:
    void TakeLock();

    TSleepWatch FWatch;
    QDBusUnixFileDescriptor FLock;
};
