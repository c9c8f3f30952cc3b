#pragma once

#include "platform/InstanceLock.h"

#include <QString>
#include <functional>

class QWidget;

// Keeps the program to one running instance per executable file name among
// the processes of one user. A later start wakes the first instance, which
// comes to the front, and ends at once with exit code 0 before any window
// exists.

// "{8F3AAD20-3A75-4DC8-B076-AB6BB5F11678}" followed by the executable's file
// name with the letters a to z upper-cased and nothing else changed.
QString InstanceName();
QString InstanceNameOf(const QString& ExeFileName);

// The start hook. In the first instance it takes the instance lock, listens
// for wake-ups and calls the hook it replaced; in a later one it does not
// return.
void CheckSingleInstance();

// Wakes the first instance and ends this process with exit code 0, running
// no finalisation. Does not return.
[[noreturn]] void NotifyFirstInstanceAndExit();

// The first instance's answer to a wake-up: brings MainWindow forward with
// the later start's Activation (nothing happens while there is no window).
void InstanceWndProc(QWidget* MainWindow, const TActivation& Activation = {});

// Restores Window if minimised, raises and activates it, showing the desktop
// Activation as the user's leave to do so; true when it is the active window
// afterwards.
bool ForceForegroundWindow(QWidget* Window, const TActivation& Activation = {});

namespace UniqueInstance {

// Keeps this start's activation token and startup id for the wake-up; called
// before the application object is made, which may take them from the
// environment.
void ReadStartActivation();

// Unit initialisation and finalisation: installs CheckSingleInstance in the
// application's start-hook slot (keeping the hook it replaces), and releases
// the instance lock at the end.
void Initialize();
void Finalize();

// Where the wake-up finds the main window; an empty function restores the
// default, the application object's main form.
void SetMainWindowSource(std::function<QWidget*()> Source);

} // namespace UniqueInstance
