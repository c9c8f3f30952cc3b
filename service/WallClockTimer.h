#pragma once

#include <QObject>

class QSocketNotifier;

// One timer on the wall clock (timerfd, CLOCK_REALTIME, absolute): it
// expires when the clock reaches the moment, whatever happened in between
// (suspend included), and it reports every change of the clock (set by hand,
// by NTP, ...), after which the owner recomputes and arms it again.
class TWallClockTimer : public QObject
{
    Q_OBJECT

public:
    explicit TWallClockTimer(QObject* Parent = nullptr);
    ~TWallClockTimer() override;

    bool IsValid() const { return FFd >= 0; }
    // Moment in milliseconds since the epoch; a moment already past expires at once.
    bool ArmAt(qint64 MomentMs);

signals:
    void Expired();
    void ClockChanged();

private:
    void Read();

    int FFd = -1;
    QSocketNotifier* FNotifier = nullptr;
};
