#pragma once

#include <QList>
#include <QProcess>
#include <QString>

#include <memory>
#include <vector>

#include <sys/types.h>

// A detached task service leads a session of its own: ending the program
// that started it does not end it.
// What a test started is found by the test's own temporary folder in the
// process's environment (its home, data or runtime folder) or command line
// (its store): nothing else on the machine carries that name.

// This user's processes, other than the calling one, whose environment or
// command line names Folder or a path below it.
QList<pid_t> ProcessesCarrying(const QString& Folder);

// Ends them: SIGTERM, up to GraceMs to leave, then SIGKILL, and waits until
// they are gone. Looks again afterwards, for one that was being forked.
// Returns how many it had to end.
int EndProcessesCarrying(const QString& Folder, int GraceMs = 5000);

// A test's teardown: kills and reaps the programs it started, then ends
// whatever they left carrying Folder.
void EndStartedPrograms(const std::vector<std::unique_ptr<QProcess>>& Started, const QString& Folder);
