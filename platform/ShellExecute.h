#pragma once

#include <QString>
#include <QStringList>

// Starts a program the way a shell's "open" verb starts one without a window:
// File with Parameters (split as a command line is, no shell, no expansion),
// in its own session, its standard streams on /dev/null, none of the caller's
// other files, detached. The caller neither waits for it nor learns how it
// ends. True when the program was started.
bool ShellExecute(const QString& File, const QString& Parameters);

// Starts Program with Arguments (no shell, no expansion) detached: in its own
// session, no signal blocked and the usual ending signals at their default,
// standard input and output on /dev/null, standard error appended to
// ErrorLog (made 0600 when missing; /dev/null when it is empty or cannot be
// opened), none of the caller's descriptors beyond those three. Its parent
// leaves at once, so nobody waits for or reaps it. True when the program was
// started.
bool StartDetached(const QString& Program, const QStringList& Arguments, const QString& ErrorLog = QString());
