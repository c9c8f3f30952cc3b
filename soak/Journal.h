#pragma once

// The journal a soak writer keeps for the checker: what it begins and when it
// has ended. One write a line, so that a kill leaves whole lines only.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace SoakJournal {

inline volatile std::sig_atomic_t StopRequested = 0;

// SIGTERM ends the writer after the operation it is in, so that a checker
// can see what the writers' clean-up left without a kill of its own.
inline bool Stopping()
{
    return StopRequested != 0;
}

inline int& Descriptor()
{
    static int Fd = -1;
    return Fd;
}

// Checks the command line ("<program> <target> JOURNAL SEED") and opens the
// journal; false (after saying why) when the writer cannot go on.
inline bool Open(int Argc, char** Argv, const char* Usage)
{
    if (Argc != 4) {
        std::fputs(Usage, stderr);
        return false;
    }
    Descriptor() = ::open(Argv[2], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    std::signal(SIGTERM, [](int) { StopRequested = 1; });
    return Descriptor() >= 0;
}

inline void Note(const std::string& Line)
{
    const std::string Text = Line + '\n';
    if (::write(Descriptor(), Text.data(), Text.size()) != ssize_t(Text.size()))
        std::_Exit(3);
}

} // namespace SoakJournal
