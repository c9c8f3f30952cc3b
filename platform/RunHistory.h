#pragma once

#include <QString>
#include <QStringList>

// The history of what happened around the runs of work items, for the user
// to read: the task service and the shutdown tool append to it, and
// "lumidor-taskd --history" prints it. A plain text file in the user's state
// folder ($XDG_STATE_HOME/lumidor/history.log, by default
// ~/.local/state/lumidor/history.log), one line an event:
//   2026-12-09 21:30:00 +01:00 started daily.job: ...
// the local time with its offset from UTC, the event, what it concerns, and
// the details.
//
// Appending is one write with O_APPEND under the history's lock, so lines of
// several programs never mix. A line that cannot be written (full disk, no
// state folder) is lost; nothing else depends on it.
namespace RunHistory {

// What happened; each is one word in the file (EventName).
enum class TEvent { Started, Finished, Failed, Missed, Skipped, Refused, Postponed, Cancelled };

// "started", "finished", ...: the word the file and the user see.
QString EventName(TEvent Event);

// What the history keeps and shows.
constexpr int MaxEvents = 1000;
// A longer line is cut, so that MaxEvents lines never exceed TrimAtBytes.
constexpr int MaxLineBytes = 256;
// The file is cut back to its last MaxEvents lines when it grows past this:
// rarely, not at every event.
constexpr qint64 TrimAtBytes = qint64(MaxEvents) * MaxLineBytes;

// An instant (seconds since 1970) in ISO 8601 local time with its offset,
// "2026-12-09T21:30:00+01:00" ("+00:00", never "Z"): the form of every time
// the history's readers show, and of the times in its details.
QString LocalTimeText(qint64 SecsSinceEpoch);

QString FilePath();
// Tests point the history elsewhere; an empty text restores the default.
void SetFileForTesting(const QString& FileName);

// Appends "<time> <Event> <Subject>: <Details>"; line breaks in the texts
// become blanks. False when the line was lost.
bool Append(TEvent Event, const QString& Subject, const QString& Details);

// The last MaxEvents lines, oldest first; empty when there is no history.
QStringList Read();

} // namespace RunHistory
