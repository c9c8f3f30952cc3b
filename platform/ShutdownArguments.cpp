#include "platform/ShutdownArguments.h"

#include "platform/AsciiText.h"

bool ParseShutdownArguments(const QStringList& Args, TShutdownOptions& Options, QString& Error)
{
    Options = TShutdownOptions();
    for (int I = 0; I < Args.size(); ++I) {
        const QString Arg = Args.at(I);
        const QString Lower = AsciiText::LowerCase(Arg);
        if (Lower == QLatin1String("--dry-run")) {
            Options.DryRun = true;
            continue;
        }
        if (Lower == QLatin1String("--help")) {
            Options.Help = true;
            continue;
        }
        if (Arg.size() != 2 || (Arg[0] != QLatin1Char('-') && Arg[0] != QLatin1Char('/'))) {
            Error = QStringLiteral("unknown option \"%1\"").arg(Arg);
            return false;
        }
        TShutdownAction Action = TShutdownAction::None;
        switch (Lower[1].unicode()) {
        case 's': Action = TShutdownAction::PowerOff; break;
        case 'r': Action = TShutdownAction::Reboot; break;
        case 'a': Action = TShutdownAction::Abort; break;
        case 'h':
        case '?':
            Options.Help = true;
            continue;
        case 't': {
            if (I + 1 >= Args.size()) {
                Error = QStringLiteral("option \"%1\" needs a number of seconds").arg(Arg);
                return false;
            }
            bool Ok = false;
            const int Seconds = Args.at(++I).toInt(&Ok);
            if (!Ok || Seconds < MinShutdownDelaySeconds || Seconds > MaxShutdownDelaySeconds) {
                Error = QStringLiteral("the delay must be a number of seconds from %1 to %2, not \"%3\"")
                            .arg(MinShutdownDelaySeconds).arg(MaxShutdownDelaySeconds).arg(Args.at(I));
                return false;
            }
            Options.DelaySeconds = Seconds;
            continue;
        }
        default:
            Error = QStringLiteral("unknown option \"%1\"").arg(Arg);
            return false;
        }
        if (Options.Action != TShutdownAction::None && Options.Action != Action) {
            Error = QStringLiteral("give only one of -s, -r and -a");
            return false;
        }
        Options.Action = Action;
    }
    if (Options.Action == TShutdownAction::None && !Options.Help) {
        Error = QStringLiteral("no action given: use -s, -r or -a");
        return false;
    }
    return true;
}

QString ShutdownUsage()
{
    return QStringLiteral(
        "Usage: Shutdown.exe -s | -r | -a [-t seconds] [--dry-run]\n"
        "  -s          power the computer off after the delay\n"
        "  -r          restart the computer after the delay\n"
        "  -a          stop the countdown under way\n"
        "  -t seconds  the delay, %1 to %2 seconds (default 30)\n"
        "  --dry-run   print the D-Bus calls instead of making them\n"
        "Exit codes: 0 done, 2 bad usage, 3 logind not reachable, 4 not allowed, 5 logind failed,\n"
        "  6 did not happen (asleep at its time, asked to end, another countdown under way).")
        .arg(MinShutdownDelaySeconds).arg(MaxShutdownDelaySeconds);
}
