#pragma once

#include <QString>

// Which of logind's scheduled shutdowns is the tool's own: the type and time
// it last asked for, kept in the user's runtime folder
// ($XDG_RUNTIME_DIR/lumidor/shutdown-schedule, else the instance lock's
// folder). logind holds one schedule for everyone, so "-a" and the countdown
// compare it with this record before they cancel or replace anything.
struct TScheduledShutdown
{
    QString Type; // "poweroff", "reboot"; empty: nothing scheduled
    qulonglong Usec = 0;

    bool IsEmpty() const { return Type.isEmpty(); }
    bool operator==(const TScheduledShutdown&) const = default;
};

namespace ShutdownRecord {

QString FilePath();
// What the tool last scheduled; empty when it has nothing pending.
TScheduledShutdown Read();
bool Write(const TScheduledShutdown& Schedule);
void Remove();
// Whether logind's schedule is the one the record names.
bool IsOwn(const TScheduledShutdown& Logind);

} // namespace ShutdownRecord
