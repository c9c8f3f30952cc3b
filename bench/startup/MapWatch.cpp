// Starts a program and reports when its first top-level window (not a helper
// window of a pixel) is mapped on the X server of $DISPLAY, and the program's
// resident memory a second later; then ends it.
//
//   bench_map_watch PROGRAM [ARGUMENTS...]
//
// Prints "mapped_ms=<ms> rss_kib=<KiB> pid=<pid> title=<WM_NAME> size=<w>x<h>".
// The watch on the root window is set before the program starts, so that no
// map is missed.
#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

long ResidentKib(pid_t Pid)
{
    std::ifstream File("/proc/" + std::to_string(Pid) + "/status");
    std::string Line;
    while (std::getline(File, Line))
        if (Line.rfind("VmRSS:", 0) == 0)
            return std::strtol(Line.c_str() + 6, nullptr, 10);
    return -1;
}

void End(pid_t Pid)
{
    ::kill(Pid, SIGTERM);
    for (int I = 0; I < 100; ++I) {
        if (::waitpid(Pid, nullptr, WNOHANG) == Pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(Pid, SIGKILL);
    ::waitpid(Pid, nullptr, 0);
}

} // namespace

int main(int Argc, char** Argv)
{
    if (Argc < 2) {
        std::fputs("usage: bench_map_watch PROGRAM [ARGUMENTS...]\n", stderr);
        return 2;
    }
    Display* X = XOpenDisplay(nullptr);
    if (!X) {
        std::fputs("bench_map_watch: no X display\n", stderr);
        return 2;
    }
    const Window Root = DefaultRootWindow(X);
    XSelectInput(X, Root, SubstructureNotifyMask);
    XSync(X, False);

    const auto Start = std::chrono::steady_clock::now();
    const pid_t Pid = ::fork();
    if (Pid == 0) {
        ::close(ConnectionNumber(X));
        // Whatever it leaves running must not hold the caller's output open.
        const int Null = ::open("/dev/null", O_RDWR);
        ::dup2(Null, 0);
        ::dup2(Null, 1);
        ::dup2(Null, 2);
        ::execvp(Argv[1], Argv + 1);
        std::_Exit(127);
    }
    if (Pid < 0)
        return 3;

    double MappedMs = -1;
    Window Mapped = None;
    const int Fd = ConnectionNumber(X);
    while (MappedMs < 0) {
        while (XPending(X)) {
            XEvent Event;
            XNextEvent(X, &Event);
            XWindowAttributes Size;
            // A program's helper windows (1 x 1) are no window a user sees.
            if (Event.type == MapNotify && Event.xmap.event == Root && !Event.xmap.override_redirect
                && XGetWindowAttributes(X, Event.xmap.window, &Size) && Size.width >= 64 && Size.height >= 64) {
                MappedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count();
                Mapped = Event.xmap.window;
                break;
            }
        }
        if (MappedMs >= 0)
            break;
        if (::waitpid(Pid, nullptr, WNOHANG) == Pid) {
            std::fputs("bench_map_watch: the program ended without a window\n", stderr);
            return 1;
        }
        if (std::chrono::steady_clock::now() - Start > std::chrono::seconds(30)) {
            End(Pid);
            std::fputs("bench_map_watch: no window within 30 s\n", stderr);
            return 1;
        }
        pollfd Wait{Fd, POLLIN, 0};
        ::poll(&Wait, 1, 100);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long Rss = ResidentKib(Pid);
    char* Title = nullptr;
    XFetchName(X, Mapped, &Title);
    XWindowAttributes Size;
    XGetWindowAttributes(X, Mapped, &Size);
    std::printf("mapped_ms=%.1f rss_kib=%ld pid=%d title=%s size=%dx%d\n", MappedMs, Rss, int(Pid), Title ? Title : "",
        Size.width, Size.height);
    if (Title)
        XFree(Title);
    std::fflush(stdout);
    End(Pid);
    XCloseDisplay(X);
    return 0;
}
