#pragma once

// The journal a soak writer keeps for the checker: what it begins and when it
// has ended. One write a line, so that a kill leaves whole lines only.

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace SoakJournal {

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
    return Descriptor() >= 0;
}

inline void Note(const std::string& Line)
{
    const std::string Text = Line + '\n';
    if (::write(Descriptor(), Text.data(), Text.size()) != ssize_t(Text.size()))
        std::_Exit(3);
}

} // namespace SoakJournal
