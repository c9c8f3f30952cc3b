#include "service/WallClockTimer.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>

TWallClockTimer::TWallClockTimer(QObject* Parent)
    : QObject(Parent)
{
    FFd = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (FFd < 0)
        return;
    FNotifier = new QSocketNotifier(FFd, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TWallClockTimer::Read);
}

TWallClockTimer::~TWallClockTimer()
{
    if (FFd >= 0)
        ::close(FFd);
}

bool TWallClockTimer::ArmAt(qint64 MomentMs)
{
    if (FFd < 0)
        return false;
    itimerspec Deadline{};
    // 0 would disarm the timer: a moment at or before the epoch means "now".
    const qint64 Ms = MomentMs > 0 ? MomentMs : 1;
    Deadline.it_value.tv_sec = time_t(Ms / 1000);
    Deadline.it_value.tv_nsec = long(Ms % 1000) * 1000000;
    return ::timerfd_settime(FFd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &Deadline, nullptr) == 0;
}

void TWallClockTimer::Read()
{
    uint64_t Expirations = 0;
    const ssize_t Got = ::read(FFd, &Expirations, sizeof Expirations);
    if (Got < 0 && errno == ECANCELED) {
        emit ClockChanged();
        return;
    }
    if (Got == ssize_t(sizeof Expirations))
        emit Expired();
}
