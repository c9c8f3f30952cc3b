#include "app/UniqueInstance.h"

#include "app/StartupNotification.h"
#include "platform/AppFrame_New.h"
#include "platform/AsciiText.h"
#include "platform/InstanceLock.h"
#include "toolkit/Forms.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

#include <unistd.h>

namespace {

const QString InstanceGuid = QStringLiteral("{8F3AAD20-3A75-4DC8-B076-AB6BB5F11678}");

// Read before the application object is made: Qt's X11 platform takes
// DESKTOP_STARTUP_ID out of the environment then, before the start hooks run.
TActivation StartActivation;

TInstanceLock* InstanceMutex = nullptr;
void (*PreviousStartHook)() = nullptr;
std::function<QWidget*()> MainWindowSource;

QWidget* MainWindow()
{
    if (MainWindowSource)
        return MainWindowSource();
    return Application && Application->MainForm() ? Application->MainForm()->Widget() : nullptr;
}

void AnswerWakeUp(const TActivation& Activation)
{
    InstanceWndProc(MainWindow(), Activation);
}

xcb_atom_t Atom(xcb_connection_t* Connection, const char* Name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(Connection, xcb_intern_atom(Connection, 0, uint16_t(strlen(Name)), Name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// Asks the window manager to activate Window for the user's action at Time,
// as a launcher would: with the time of that action, not of our last event.
bool ActivateOnX11(QWidget* Window, quint32 Time)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection() || Time == 0)
        return false;
    xcb_connection_t* connection = x11->connection();
    const xcb_window_t window = xcb_window_t(Window->winId());
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    if (!tree)
        return false;
    const xcb_window_t root = tree->root;
    free(tree);

    // Qt keeps the user time on a window of its own and names it on the top-level.
    xcb_window_t timeWindow = window;
    const xcb_atom_t timeWindowAtom = Atom(connection, "_NET_WM_USER_TIME_WINDOW");
    xcb_get_property_reply_t* named = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, timeWindowAtom, XCB_ATOM_WINDOW, 0, 1), nullptr);
    if (named && named->format == 32 && xcb_get_property_value_length(named) == 4)
        timeWindow = *static_cast<const xcb_window_t*>(xcb_get_property_value(named));
    free(named);
    const xcb_atom_t userTime = Atom(connection, "_NET_WM_USER_TIME");
    if (userTime != XCB_ATOM_NONE)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, timeWindow, userTime, XCB_ATOM_CARDINAL, 32, 1, &Time);
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = Atom(connection, "_NET_ACTIVE_WINDOW");
    message.data.data32[0] = 1; // an application's request
    message.data.data32[1] = Time;
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
    return true;
}

// Ends the launcher's busy cursor for this start's startup id: this start
// shows no window, which is what would otherwise end it. Waits until the
// server has the message, since the process ends right after.
void EndLaunchFeedback()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || StartActivation.DesktopStartupId.isEmpty())
        return;
    xcb_connection_t* connection = x11->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_atom_t begin = Atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = Atom(connection, "_NET_STARTUP_INFO");
    if (!screen || begin == XCB_ATOM_NONE || more == XCB_ATOM_NONE)
        return;
    // The receiver tells one message's pieces from another's by this window.
    const xcb_window_t sender = xcb_generate_id(connection);
    const uint32_t overrideRedirect = 1;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, sender, screen->root, -100, -100, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, &overrideRedirect);
    bool first = true;
    for (const QByteArray& piece :
        StartupNotification::Pieces(StartupNotification::RemoveMessage(StartActivation.DesktopStartupId))) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 8;
        message.window = sender;
        message.type = first ? begin : more;
        memcpy(message.data.data8, piece.constData(), sizeof message.data.data8);
        xcb_send_event(connection, 0, screen->root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&message));
        first = false;
    }
    xcb_destroy_window(connection, sender);
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

// A window manager lets a window come forward for a user's action that is
// newer than the window's own last one. The later start carries that action:
// as a token that Qt's Wayland platform hands to the compositor when a window
// asks for activation (it reads the token from the environment), or as an X11
// startup id that holds the time of the action.
void ActivateWith(QWidget* Window, const TActivation& Activation)
{
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")) && !Activation.XdgActivationToken.isEmpty()) {
        qputenv("XDG_ACTIVATION_TOKEN", Activation.XdgActivationToken);
        Window->activateWindow();
        // Used once, and not to be inherited by the programs we start.
        qunsetenv("XDG_ACTIVATION_TOKEN");
        return;
    }
    if (platform == QLatin1String("xcb") && ActivateOnX11(Window, Activation.StartupTime()))
        return;
    Window->activateWindow();
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
        QObject::connect(InstanceMutex, &TInstanceLock::WakeUp, &AnswerWakeUp);
        break;
    case TInstanceLock::Running:
        // A holder that is closing just now takes no wake-up; this start then
        // takes its place instead of vanishing unseen.
        if (!InstanceMutex->SendWakeUp(500, StartActivation) && InstanceMutex->Acquire() == TInstanceLock::First) {
            QObject::connect(InstanceMutex, &TInstanceLock::WakeUp, &AnswerWakeUp);
            break;
        }
        EndLaunchFeedback();
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
    (void)TInstanceLock(InstanceName()).SendWakeUp(500, StartActivation);
    EndLaunchFeedback();
    _exit(0);
}

void InstanceWndProc(QWidget* MainWindow, const TActivation& Activation)
{
    (void)ForceForegroundWindow(MainWindow, Activation);
}

bool ForceForegroundWindow(QWidget* Window, const TActivation& Activation)
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
    ActivateWith(Window, Activation);
    return Window->isActiveWindow();
}

namespace UniqueInstance {

void ReadStartActivation()
{
    StartActivation = TActivation::FromEnvironment();
}

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
