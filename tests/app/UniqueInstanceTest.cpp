#include "app/UniqueInstance.h"
#include "platform/InstanceLock.h"
#include "toolkit/Forms.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

std::vector<QString> HookCalls;

void EarlierHook()
{
    // The guard has taken the lock by the time the hook it replaced runs.
    TInstanceLock probe(InstanceName());
    HookCalls.push_back(probe.Acquire() == TInstanceLock::Running ? "earlier hook after check" : "earlier hook before check");
}

const QString Guid = QStringLiteral("{8F3AAD20-3A75-4DC8-B076-AB6BB5F11678}");

bool WaitFor(const std::function<bool()>& Done, int Ms = 3000)
{
    QDeadlineTimer deadline(Ms);
    while (!Done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return Done();
}

} // namespace

namespace {

// The instance lock in a folder of the test's own, the old one back afterwards.
class TOwnRuntime
{
public:
    TOwnRuntime() : FOld(InstanceLock::RuntimeFolder()) { InstanceLock::SetRuntimeFolderForTesting(FDir.path()); }
    ~TOwnRuntime() { InstanceLock::SetRuntimeFolderForTesting(FOld); }
    bool IsValid() const { return FDir.isValid(); }

private:
    QTemporaryDir FDir;
    QString FOld;
};

} // namespace

TEST(UniqueInstanceTest, InstanceNameUpperCasesOnlyTheLettersAToZ)
{
    struct TCase
    {
        QString FileName;
        QString Expected;
    } cases[] = {
        {"lumidor", "LUMIDOR"},
        {"Lumidor.exe", "LUMIDOR.EXE"},
        {"LUMIDOR", "LUMIDOR"},
        {"lumidor-2_x.bin", "LUMIDOR-2_X.BIN"},
        {QString::fromUtf8("lümidor-ßıé"), QString::fromUtf8("LüMIDOR-ßıé")},
        {QString::fromUtf8("日本lumidor"), QString::fromUtf8("日本LUMIDOR")},
        {"", ""},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(InstanceNameOf(c.FileName), Guid + c.Expected) << c.FileName.toStdString();
    EXPECT_EQ(InstanceName(), Guid + "TEST_APP");
}

TEST(UniqueInstanceTest, ForceForegroundWindowRestoresAndActivates)
{
    EXPECT_FALSE(ForceForegroundWindow(nullptr));
    QWidget window;
    window.resize(200, 100);
    window.showMinimized();
    ASSERT_TRUE(WaitFor([&] { return window.isMinimized(); }));
    (void)ForceForegroundWindow(&window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(WaitFor([&] { return window.isActiveWindow(); }));
    EXPECT_TRUE(ForceForegroundWindow(&window));
}

TEST(UniqueInstanceTest, FirstInstanceComesForwardWhenALaterOneWakesIt)
{
    const TOwnRuntime runtime;
    ASSERT_TRUE(runtime.IsValid());

    QWidget window;
    window.resize(200, 100);
    UniqueInstance::SetMainWindowSource([&window] { return &window; });
    CheckSingleInstance();

    TInstanceLock later(InstanceName());
    EXPECT_EQ(later.Acquire(), TInstanceLock::Running);

    window.showMinimized();
    ASSERT_TRUE(WaitFor([&] { return window.isMinimized(); }));
    ASSERT_TRUE(later.SendWakeUp());
    EXPECT_TRUE(WaitFor([&] { return !window.isMinimized() && window.isActiveWindow(); }));

    // A wake-up before the main window exists does nothing.
    UniqueInstance::SetMainWindowSource([] { return nullptr; });
    ASSERT_TRUE(later.SendWakeUp());
    QCoreApplication::processEvents();

    // Finalisation frees the lock for the next start.
    UniqueInstance::Finalize();
    EXPECT_EQ(later.Acquire(), TInstanceLock::First);
    UniqueInstance::SetMainWindowSource(nullptr);
}

TEST(UniqueInstanceTest, StartHookChecksFirstThenCallsTheHookItReplaced)
{
    const TOwnRuntime runtime;
    ASSERT_TRUE(runtime.IsValid());
    const TApplication::TStartHook oldHook = TApplication::InitProc;

    HookCalls.clear();
    TApplication::InitProc = &EarlierHook;
    UniqueInstance::Initialize();
    EXPECT_EQ(TApplication::InitProc, &CheckSingleInstance);
    {
        TApplication application;
        application.Initialize();
        application.Initialize();
    }
    EXPECT_EQ(HookCalls, std::vector<QString>{"earlier hook after check"});

    UniqueInstance::Finalize();
    TApplication::InitProc = oldHook;
}

TEST(UniqueInstanceTest, WakeUpBringsTheApplicationsMainFormForward)
{
    const TOwnRuntime runtime;
    ASSERT_TRUE(runtime.IsValid());
    {
        TApplication application;
        TForm* form = nullptr;
        application.CreateForm(form);
        CheckSingleInstance();
        form->Widget()->showMinimized();
        ASSERT_TRUE(WaitFor([&] { return form->Widget()->isMinimized(); }));
        ASSERT_TRUE(TInstanceLock(InstanceName()).SendWakeUp());
        EXPECT_TRUE(WaitFor([&] { return !form->Widget()->isMinimized() && form->Widget()->isVisible(); }));
        UniqueInstance::Finalize();
    }
}
