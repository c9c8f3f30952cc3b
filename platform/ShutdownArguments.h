#pragma once

#include <QString>
#include <QStringList>

// The shutdown tool's command line, read by the tool and by the task service
// (which warns before a run of it). Options start with "-" or "/" and ignore
// the case of the letters A to Z, as the Windows tool's do: -s, -r, -a,
// -t <seconds>, --dry-run, -h/--help/-?. Exactly one action.

// The name the wizard and the work items call the tool by.
inline const QString ShutdownProgramName = QStringLiteral("Shutdown.exe");

enum class TShutdownAction { None, PowerOff, Reboot, Abort };

struct TShutdownOptions
{
    TShutdownAction Action = TShutdownAction::None;
    int DelaySeconds = 30;
    bool DryRun = false;
    bool Help = false;
};

constexpr int MinShutdownDelaySeconds = 10;
constexpr int MaxShutdownDelaySeconds = 86400;

bool ParseShutdownArguments(const QStringList& Args, TShutdownOptions& Options, QString& Error);

QString ShutdownUsage();
