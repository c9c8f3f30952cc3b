#include "app/UniqueInstance.h"
#include "platform/InstanceLock.h"
#include "platform/TaskServiceLauncher.h"
#include "support/ProcessSweep.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <signal.h>
#include <xcb/xcb.h>

// Starts the built program as separate processes on the offscreen platform.
// The instance lock lies in the user's one folder for it, whatever the
// environment, so each test runs a copy of the program under a file name of
// its own and removes the lock files of that name at the end. The program
// starts the task service beside it on its store, which lies in the test's
// folder too.
namespace {

const QString BuiltProgram = QStringLiteral(LUMIDOR_BUILD_DIR "/bin/lumidor");

bool WaitFor(const std::function<bool()>& Done, int Ms)
{
    QDeadlineTimer deadline(Ms);
    while (!Done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return Done();
}

class ProgramStartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(BuiltProgram).isExecutable()) << "build the lumidor target first";
        ASSERT_TRUE(FRoot.isValid());
        FRuntime = FRoot.path() + "/run";
        ASSERT_TRUE(QDir().mkpath(FRuntime));
        ASSERT_TRUE(QFile::setPermissions(FRuntime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        FOldFolder = InstanceLock::RuntimeFolder();
        InstanceLock::SetRuntimeFolderForTesting(QString());
        FName = QStringLiteral("lumidor-") + QFileInfo(FRoot.path()).fileName();
        Program = CopyOfProgram(FRoot.path() + "/bin", FName);
    }

    void TearDown() override
    {
        // A started program's task service is detached and outlives it.
        EndStartedPrograms(FProcesses, FRoot.path());
        for (const QString& name : {FName, FName + "-copy"}) {
            const TInstanceLock lock(InstanceNameOf(name));
            (void)QFile::remove(lock.ChannelPath());
            (void)QFile::remove(lock.LockFilePath());
            (void)QDir().rmdir(lock.LockFilePath());
        }
        InstanceLock::SetRuntimeFolderForTesting(FOldFolder);
    }

    // What a start from the user's session has, in the test's folders.
    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", FRuntime);
        env.insert("HOME", FRoot.path());
        env.insert("XDG_CONFIG_HOME", FRoot.path() + "/config");
        env.insert("XDG_DATA_HOME", FRoot.path() + "/share");
        env.remove("LUMIDOR_TASK_STORE");
        return env;
    }

    QProcess* Start(const QString& Path) { return Start(Path, Environment()); }

    QProcess* Start(const QString& Path, const QProcessEnvironment& Env, const QStringList& Arguments = {})
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(Env);
        process->setProgram(Path);
        process->setArguments(Arguments);
        process->start();
        EXPECT_TRUE(process->waitForStarted(5000)) << Path.toStdString();
        FProcesses.push_back(std::move(process));
        return FProcesses.back().get();
    }

    // True once a running program of that file name listens for wake-ups
    // (it does so only while holding the lock). Taking the lock to probe
    // would turn the program into a later instance.
    bool WaitUntilHeld(const QString& ExeFileName, int Ms = 15000)
    {
        const QString channel = TInstanceLock(InstanceNameOf(ExeFileName)).ChannelPath();
        return WaitFor([&] {
            QLocalSocket probe;
            probe.connectToServer(channel);
            return probe.waitForConnected(100);
        }, Ms);
    }

    // Starts Xvfb for Env (made an X11 environment on it); the display's
    // name, empty when Xvfb or x11-utils are missing.
    QString StartXvfb(QProcessEnvironment& Env)
    {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty() || QStandardPaths::findExecutable("xprop").isEmpty()
            || QStandardPaths::findExecutable("xwininfo").isEmpty())
            return QString();
        Env.remove("WAYLAND_DISPLAY");
        QProcess* server = Start(xvfb, Env, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
        QByteArray number;
        EXPECT_TRUE(WaitFor([&] { number += server->readAllStandardOutput(); return number.endsWith('\n'); }, 15000));
        const QString display = ":" + QString::fromLatin1(number.trimmed());
        Env.insert("DISPLAY", display);
        Env.insert("QT_QPA_PLATFORM", "xcb");
        return display;
    }

    static bool EndedWithZero(QProcess* Process, int Ms)
    {
        return Process->waitForFinished(Ms) && Process->exitStatus() == QProcess::NormalExit && Process->exitCode() == 0;
    }

    QString CopyOfProgram(const QString& Folder, const QString& FileName)
    {
        EXPECT_TRUE(QDir().mkpath(Folder));
        const QString path = Folder + "/" + FileName;
        EXPECT_TRUE(QFile::copy(BuiltProgram, path));
        return path;
    }

    QTemporaryDir FRoot;
    QString FRuntime;
    QString FOldFolder;
    // The file name of this test's program, and the program under it.
    QString FName;
    QString Program;
    std::vector<std::unique_ptr<QProcess>> FProcesses;
};

// The program on a real X server (no window manager) that the test starts:
// env is the environment of a start on it.
class ProgramStartX11Test : public ProgramStartTest
{
protected:
    void SetUp() override
    {
        ProgramStartTest::SetUp();
        env = Environment();
        display = StartXvfb(env);
        if (display.isEmpty())
            GTEST_SKIP() << "Xvfb and x11-utils are not installed (scripts/deps.sh installs them)";
    }

    QProcessEnvironment env;
    QString display;
};

} // namespace

TEST_F(ProgramStartTest, SecondStartEndsAtOnceWithZeroAndTheFirstRunsOn)
{
    QProcess* first = Start(Program);
    ASSERT_TRUE(WaitUntilHeld(FName));

    QProcess* second = Start(Program);
    EXPECT_TRUE(EndedWithZero(second, 1000));
    EXPECT_EQ(second->readAllStandardError(), QByteArray());
    EXPECT_EQ(first->state(), QProcess::Running);

    // The same file name in another folder, also with other letter case, is the same program.
    const QString deep = FRoot.path() + "/" + QString(150, QLatin1Char('f')) + "/" + QString(150, QLatin1Char('g'));
    EXPECT_TRUE(EndedWithZero(Start(CopyOfProgram(deep, FName)), 1000));
    EXPECT_TRUE(EndedWithZero(Start(CopyOfProgram(FRoot.path() + "/upper", FName.toUpper())), 1000));
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(ProgramStartTest, LaterStartSendsItsWakeUpToTheHolder)
{
    // This test holds the program's lock itself, standing in for the first instance.
    TInstanceLock holder(InstanceNameOf(FName));
    int wakeUps = 0;
    QObject::connect(&holder, &TInstanceLock::WakeUp, [&] { ++wakeUps; });
    ASSERT_EQ(holder.Acquire(), TInstanceLock::First);

    QProcess* later = Start(Program);
    EXPECT_TRUE(EndedWithZero(later, 1000));
    EXPECT_TRUE(WaitFor([&] { return wakeUps == 1; }, 2000));
}

TEST_F(ProgramStartTest, CopyUnderAnotherFileNameRunsAlongside)
{
    QProcess* first = Start(Program);
    ASSERT_TRUE(WaitUntilHeld(FName));
    QProcess* copy = Start(CopyOfProgram(FRoot.path() + "/copy", FName + "-copy"));
    EXPECT_TRUE(WaitUntilHeld(FName + "-copy"));
    EXPECT_EQ(copy->state(), QProcess::Running);
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(ProgramStartTest, AfterTheFirstIsKilledTheNextStartIsFirstAgain)
{
    QProcess* first = Start(Program);
    ASSERT_TRUE(WaitUntilHeld(FName));
    kill(pid_t(first->processId()), SIGKILL);
    ASSERT_TRUE(first->waitForFinished(5000));

    QProcess* next = Start(Program);
    EXPECT_TRUE(WaitUntilHeld(FName));
    EXPECT_EQ(next->state(), QProcess::Running);
    // And it answers wake-ups over the channel the killed one left behind.
    EXPECT_TRUE(EndedWithZero(Start(Program), 1000));
    EXPECT_EQ(next->state(), QProcess::Running);
}

TEST_F(ProgramStartTest, OneInstanceWhateverTheEnvironmentOfItsStarts)
{
    // A terminal or a script with a stripped environment, then the session's menu.
    QProcessEnvironment stripped = Environment();
    stripped.remove("XDG_RUNTIME_DIR");
    QProcess* first = Start(Program, stripped);
    ASSERT_TRUE(WaitUntilHeld(FName));
    EXPECT_TRUE(EndedWithZero(Start(Program), 5000));

    const QString elsewhere = FRoot.path() + "/elsewhere";
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QFile::setPermissions(elsewhere, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment other = Environment();
    other.insert("XDG_RUNTIME_DIR", elsewhere);
    other.insert("TMPDIR", elsewhere);
    EXPECT_TRUE(EndedWithZero(Start(Program, other), 5000));
    EXPECT_EQ(first->state(), QProcess::Running);
}

// Under a real Wayland compositor: weston's headless backend, its socket in
// the test's runtime folder, Qt's own Wayland platform (never offscreen), the
// client's protocol log on its error output.
TEST_F(ProgramStartTest, UnderWaylandShowsItsWindowAndHandsTheActivationTokenOn)
{
    const QString weston = QStandardPaths::findExecutable("weston");
    if (weston.isEmpty())
        GTEST_SKIP() << "weston is not installed (scripts/deps.sh installs it)";
    QProcessEnvironment env = Environment();
    env.remove("DISPLAY");
    QProcess* compositor = Start(weston, env,
        {"--backend=headless-backend.so", "--shell=kiosk-shell.so", "--socket=wayland-lumidor", "--idle-time=0"});
    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(FRuntime + "/wayland-lumidor"); }, 15000))
        << compositor->readAllStandardError().toStdString();

    env.insert("QT_QPA_PLATFORM", "wayland");
    env.insert("WAYLAND_DISPLAY", "wayland-lumidor");
    env.insert("WAYLAND_DEBUG", "client");
    QProcess* first = Start(Program, env);
    QByteArray log;
    const auto logHas = [&](const QRegularExpression& Pattern) {
        log += first->readAllStandardError();
        return Pattern.match(QString::fromUtf8(log)).hasMatch();
    };
    // A top-level surface with a buffer attached, after the compositor's configure.
    EXPECT_TRUE(WaitFor([&] { return logHas(QRegularExpression("get_toplevel\\(new id xdg_toplevel@")); }, 20000))
        << log.right(2000).toStdString();
    EXPECT_TRUE(WaitFor([&] { return logHas(QRegularExpression("ack_configure\\(")); }, 10000));
    EXPECT_TRUE(WaitFor([&] { return logHas(QRegularExpression("wl_surface@\\d+\\.attach\\(wl_buffer@")); }, 10000));
    ASSERT_TRUE(WaitUntilHeld(FName));

    QProcessEnvironment later = env;
    later.remove("WAYLAND_DEBUG");
    later.insert("XDG_ACTIVATION_TOKEN", "lumidor-test-token");
    EXPECT_TRUE(EndedWithZero(Start(Program, later), 5000));
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_EQ(compositor->state(), QProcess::Running);
    // A compositor that offers activation receives the later start's token.
    if (logHas(QRegularExpression("global\\(\\d+, \"xdg_activation_v1\""))) {
        EXPECT_TRUE(WaitFor([&] { return logHas(QRegularExpression("activate\\(\"lumidor-test-token\", wl_surface@")); }, 5000));
    }
    // Answering the wake-up does not end the first.
    WaitFor([] { return false; }, 500);
    EXPECT_EQ(first->state(), QProcess::Running);
}

// The later start's startup id carries the time of the user's action, which the first gives its window
// as the user time that a window manager weighs against focus stealing.
TEST_F(ProgramStartX11Test, TheStartupTimeOfTheLaterStartBecomesTheWindowsUserTime)
{
    const QString xprop = QStandardPaths::findExecutable("xprop");
    const QString xwininfo = QStandardPaths::findExecutable("xwininfo");

    QProcess* first = Start(Program, env);
    ASSERT_TRUE(WaitUntilHeld(FName));
    const auto userTimes = [&] {
        QProcess tree;
        tree.start(xwininfo, {"-display", display, "-root", "-tree"});
        tree.waitForFinished(5000);
        QStringList times;
        const QRegularExpression id("^\\s*(0x[0-9a-f]+) ");
        for (const QString& line : QString::fromLatin1(tree.readAllStandardOutput()).split('\n')) {
            const QRegularExpressionMatch match = id.match(line);
            if (!match.hasMatch())
                continue;
            QProcess property;
            property.start(xprop, {"-display", display, "-id", match.captured(1), "_NET_WM_USER_TIME"});
            property.waitForFinished(5000);
            times << QString::fromLatin1(property.readAllStandardOutput()).trimmed();
        }
        return times;
    };
    EXPECT_FALSE(userTimes().contains("_NET_WM_USER_TIME(CARDINAL) = 4242"));

    QProcessEnvironment later = env;
    later.insert("DESKTOP_STARTUP_ID", "launcher-7-host_TIME4242");
    EXPECT_TRUE(EndedWithZero(Start(Program, later), 5000));
    EXPECT_TRUE(WaitFor([&] { return userTimes().contains("_NET_WM_USER_TIME(CARDINAL) = 4242"); }, 5000));
    EXPECT_EQ(first->state(), QProcess::Running);
}

// A launcher's busy cursor for the later start ends when that start says
// "remove" for its startup id, as a window of its own would have.
TEST_F(ProgramStartX11Test, ALaterStartEndsTheLaunchFeedbackOfItsStartupId)
{
    // Listens on the root window as a launcher does.
    xcb_connection_t* connection = xcb_connect(display.toLatin1().constData(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(connection), 0);
    const std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> owner(connection, xcb_disconnect);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    const auto atom = [&](const char* name) {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return result;
    };
    const xcb_atom_t begin = atom("_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom("_NET_STARTUP_INFO");
    std::map<xcb_window_t, QByteArray> partial;
    QList<QByteArray> messages;
    const auto collect = [&] {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (message->format == 8 && (message->type == begin || message->type == more)) {
                    QByteArray& text = partial[message->window];
                    if (message->type == begin)
                        text.clear();
                    text += QByteArray(reinterpret_cast<const char*>(message->data.data8), 20);
                    if (text.contains('\0')) {
                        messages += text.left(text.indexOf('\0'));
                        partial.erase(message->window);
                    }
                }
            }
            free(event);
        }
        return !messages.isEmpty();
    };
    xcb_flush(connection);

    QProcess* first = Start(Program, env);
    ASSERT_TRUE(WaitUntilHeld(FName));
    QProcessEnvironment later = env;
    later.insert("DESKTOP_STARTUP_ID", "launcher-9-\"x\"\\y_TIME4243");
    EXPECT_TRUE(EndedWithZero(Start(Program, later), 5000));
    EXPECT_TRUE(WaitFor(collect, 5000));
    EXPECT_EQ(messages, QList<QByteArray>{"remove: ID=\"launcher-9-\\\"x\\\"\\\\y_TIME4243\""});
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(ProgramStartTest, GivesWayWhenNoInstanceLockCanBeHad)
{
    // A folder where the lock file should be.
    ASSERT_TRUE(QDir().mkpath(TInstanceLock(InstanceNameOf(FName)).LockFilePath()));
    EXPECT_TRUE(EndedWithZero(Start(Program), 3000));
}

TEST_F(ProgramStartTest, StartsItsTaskServiceOnTheStoreOfItsDataFolderAndTheTestEndsIt)
{
    if (!QFileInfo(QStringLiteral(LUMIDOR_BUILD_DIR "/bin/lumidor-taskd")).isExecutable())
        GTEST_SKIP() << "lumidor-taskd is not built";
    // The program starts the service that lies beside it.
    ASSERT_TRUE(QFile::copy(QStringLiteral(LUMIDOR_BUILD_DIR "/bin/lumidor-taskd"), FRoot.path() + "/bin/lumidor-taskd"));
    const QString store = FRoot.path() + "/share/lumidor/tasks";
    QProcess* program = Start(Program);
    ASSERT_TRUE(WaitFor([&] { return TaskServiceRunning(store); }, 15000));

    // The service is its own session's: the program's end leaves it running.
    program->kill();
    ASSERT_TRUE(program->waitForFinished(5000));
    EXPECT_TRUE(TaskServiceRunning(store));
    EXPECT_FALSE(ProcessesCarrying(FRoot.path()).isEmpty());

    EXPECT_GE(EndProcessesCarrying(FRoot.path()), 1);
    EXPECT_TRUE(ProcessesCarrying(FRoot.path()).isEmpty());
    EXPECT_FALSE(TaskServiceRunning(store));
}
