#pragma once

#include <QString>

// Starts a program the way a shell's "open" verb starts one without a window:
// File with Parameters (split as a command line is, no shell, no expansion),
// in its own session, its standard streams on /dev/null, none of the caller's
// other files, detached. The caller neither waits for it nor learns how it
// ends. True when the program was started.
bool ShellExecute(const QString& File, const QString& Parameters);
