#include "WizardFixture.h"
#include "support/TaskServiceFixture.h"

#include <QFileInfo>
#include <QProcess>

#include <functional>

// The whole road of a job with the real task service and the real clock:
// added through the window, run by the service at its minute after the
// window has gone, and no longer listed by the next window.
TEST_F(WizardTest, AJobAddedThroughTheWindowRunsAtItsMinuteAfterTheWindowHasClosed)
{
    const QString ServiceProgram = QStringLiteral(LUMIDOR_BUILD_DIR "/bin/lumidor-taskd");
    if (!QFileInfo(ServiceProgram).isExecutable())
        GTEST_SKIP() << "lumidor-taskd is not built";
    DateTime::SetClockForTesting({});

    // The service asks a utmp file of the test's whether the user is logged on.
    const QString Utmp = FHome.filePath("utmp");
    ASSERT_NO_FATAL_FAILURE(ServiceTesting::WriteUtmp(Utmp, true));

    ASSERT_TRUE(WorkItemStore::EnsureFolder());
    const QString Log = FHome.filePath("service.log");
    QProcess Service;
    Service.setProgram(ServiceProgram);
    Service.setArguments({"--store", StoreFolder(), "--utmp", Utmp});
    Service.setStandardErrorFile(Log);
    Service.setStandardOutputFile(QProcess::nullDevice());
    Service.start();
    ASSERT_TRUE(Service.waitForStarted(10000));
    const auto LogText = [&] {
        QFile F(Log);
        return F.open(QIODevice::ReadOnly) ? QString::fromUtf8(F.readAll()) : QString();
    };
    const auto WaitUntil = [](const std::function<bool()>& Done, int Ms) {
        const QDeadlineTimer Deadline(Ms);
        while (!Done() && !Deadline.hasExpired())
            QThread::msleep(50);
        return Done();
    };
    const auto Stop = [&] {
        Service.terminate();
        Service.waitForFinished(20000);
    };
    ASSERT_TRUE(WaitUntil([&] { return LogText().contains("started for"); }, 20000)) << LogText().toStdString();

    TfrmMain& F = MakeForm();
    Click(F.btnNext);
    Click(F.btnNext);
    ASSERT_EQ(Boxes.size(), 1u);
    ASSERT_EQ(Boxes[0].Text, "Added successfully!") << LogText().toStdString();
    const QString Minute = FormatDateTime(QStringLiteral("hh:nn"), F.ScheduleTime());
    const QString Name = F.lvView->Items()[0]->SubItems().value(0);
    Form.reset();

    const QString Calls = FHome.filePath("system/calls.log");
    const auto Runs = [&] {
        QFile C(Calls);
        return C.open(QIODevice::ReadOnly) ? QString::fromUtf8(C.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
    };
    const bool Ran = WaitUntil([&] { return !Runs().isEmpty(); }, 75000);
    const bool Gone = WaitUntil([&] { return !ItemExists(Name); }, 10000);
    Stop();
    ASSERT_TRUE(Ran) << LogText().toStdString();
    EXPECT_EQ(Runs(), QStringList{Minute + " -s"});
    EXPECT_TRUE(Gone);

    TfrmMain& Next = MakeForm();
    EXPECT_EQ(Next.lvView->Items().Count(), 0);
    EXPECT_EQ(Next.lbl_Job->Caption(), "N/A");
    EXPECT_TRUE(ShutdownEntries().isEmpty());
}
