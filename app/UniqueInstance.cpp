#include "app/UniqueInstance.h"

#include "platform/AppFrame_New.h"
#include "platform/AsciiText.h"
#include "platform/InstanceLock.h"
#include "toolkit/Forms.h"

#include <QFileInfo>
#include <QWidget>

#include <unistd.h>

namespace {

const QString InstanceGuid = QStringLiteral("{8F3AAD20-3A75-4DC8-B076-AB6BB5F11678}");

TInstanceLock* InstanceMutex = nullptr;
void (*PreviousStartHook)() = nullptr;
std::function<QWidget*()> MainWindowSource;

QWidget* MainWindow()
{
    if (MainWindowSource)
        return MainWindowSource();
    return Application && Application->MainForm() ? Application->MainForm()->Widget() : nullptr;
}

} // namespace

QString InstanceName()
{
    return InstanceNameOf(QFileInfo(ModuleFileName()).fileName());
}

QString InstanceNameOf(const QString& ExeFileName)
{
    return InstanceGuid + AsciiText::UpperCase(ExeFileName);
}

void CheckSingleInstance()
{
    InstanceMutex = new TInstanceLock(InstanceName());
    switch (InstanceMutex->Acquire()) {
    case TInstanceLock::First:
        QObject::connect(InstanceMutex, &TInstanceLock::WakeUp, [] { InstanceWndProc(MainWindow()); });
        break;
    case TInstanceLock::Running:
        // A holder that is closing just now takes no wake-up; this start then
        // takes its place instead of vanishing unseen.
        if (!InstanceMutex->SendWakeUp() && InstanceMutex->Acquire() == TInstanceLock::First) {
            QObject::connect(InstanceMutex, &TInstanceLock::WakeUp, [] { InstanceWndProc(MainWindow()); });
            break;
        }
        _exit(0);
    case TInstanceLock::Failed:
        // In doubt the new process gives way.
        NotifyFirstInstanceAndExit();
    }
    if (PreviousStartHook)
        PreviousStartHook();
}

void NotifyFirstInstanceAndExit()
{
    (void)TInstanceLock(InstanceName()).SendWakeUp();
    _exit(0);
}

void InstanceWndProc(QWidget* MainWindow)
{
    (void)ForceForegroundWindow(MainWindow);
}

bool ForceForegroundWindow(QWidget* Window)
{
    if (!Window)
        return false;
    if (Window->isMinimized()) {
        Window->setWindowState(Window->windowState() & ~Qt::WindowMinimized);
        Window->show();
    }
    if (Window->isActiveWindow())
        return true;
    Window->raise();
    Window->activateWindow();
    return Window->isActiveWindow();
}

namespace UniqueInstance {

void Initialize()
{
    PreviousStartHook = TApplication::InitProc;
    TApplication::InitProc = &CheckSingleInstance;
}

void Finalize()
{
    delete InstanceMutex;
    InstanceMutex = nullptr;
}

void SetMainWindowSource(std::function<QWidget*()> Source)
{
    MainWindowSource = std::move(Source);
}

} // namespace UniqueInstance
