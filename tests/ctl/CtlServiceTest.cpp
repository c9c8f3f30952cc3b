#include "support/TaskServiceFixture.h"

#include <QDir>
#include <QProcess>
#include <QSet>

#include <fcntl.h>

#include "platform/FileLock.h"

// The built lumidorctl as a user runs it, with the real task service and no
// window. Both programs are copied into a tree of the test's own, so that the
// shutdown tool they find beside them is the recording stand-in.

namespace {

const QString CtlProgram = QStringLiteral(LUMIDOR_BUILD_DIR "/bin/lumidorctl");

class CtlServiceTest : public ServiceTesting::TTaskServiceFixture
{
protected:
    void SetUp() override
    {
        TTaskServiceFixture::SetUp();
        ASSERT_TRUE(QFileInfo::exists(CtlProgram)) << "build lumidorctl first";
        ASSERT_TRUE(QDir().mkpath(Home.filePath("tree/bin")));
        ASSERT_TRUE(QDir().mkpath(Home.filePath("tree/libexec/lumidor")));
        ASSERT_TRUE(QFile::copy(CtlProgram, Home.filePath("tree/bin/lumidorctl")));
        StandIn = WriteStandIn("tree/libexec/lumidor/Shutdown.exe", 0);
    }

    QProcess* StartCtl(const QStringList& Args)
    {
        auto* Ctl = new QProcess;
        Started.emplace_back(Ctl);
        Ctl->setProgram(Home.filePath("tree/bin/lumidorctl"));
        Ctl->setArguments(Args);
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("HOME", Home.path());
        Env.insert("XDG_CONFIG_HOME", Home.filePath("config"));
        Env.insert("XDG_DATA_HOME", Home.filePath("share"));
        Env.insert("XDG_STATE_HOME", Home.filePath("state"));
        Env.insert("LUMIDOR_TASK_STORE", Store);
        Env.insert("LC_ALL", "C");
        const QString NoBus = "unix:path=" + Home.filePath("no-bus");
        Env.insert("DBUS_SESSION_BUS_ADDRESS", NoBus);
        Env.insert("DBUS_SYSTEM_BUS_ADDRESS", NoBus);
        Ctl->setProcessEnvironment(Env);
        Ctl->start();
        return Ctl;
    }
    int RunCtl(const QStringList& Args, QString* Out = nullptr)
    {
        QProcess* Ctl = StartCtl(Args);
        EXPECT_TRUE(Ctl->waitForFinished(60000));
        if (Out)
            *Out = QString::fromUtf8(Ctl->readAllStandardOutput());
        return Ctl->exitCode();
    }

    std::vector<std::unique_ptr<QProcess>> Started;
};

} // namespace

TEST_F(CtlServiceTest, AJobAddedFromTheTerminalRunsAtItsMinuteWithNoWindow)
{
    StartService();
    ServiceTesting::AvoidMinuteEnd(10);
    QString Made;
    ASSERT_EQ(RunCtl({"add", "shutdown", "+1"}, &Made), 0);
    const QString Name = Made.trimmed().section(QStringLiteral(", job "), -1);
    TWorkItem Item;
    ASSERT_EQ(WorkItemStore::Load(Name, Item), TStoreResult::Ok);
    const QTime Minute(Item.Triggers.at(0).wStartHour, Item.Triggers.at(0).wStartMinute);

    ASSERT_TRUE(ServiceTesting::WaitUntil([&] { return !Runs().isEmpty(); }, 150000)) << LogText().toStdString();
    const QStringList Fields = Runs().at(0).split(u' ');
    EXPECT_EQ(Fields.mid(1), QStringList{"-s"});
    const QDateTime Ran = QDateTime::fromMSecsSinceEpoch(qint64(Fields.at(0).toDouble() * 1000));
    EXPECT_EQ(Ran.time().hour(), Minute.hour());
    EXPECT_EQ(Ran.time().minute(), Minute.minute());

    // The one-time item is gone once run, and so is the job from the list.
    ASSERT_TRUE(ServiceTesting::WaitUntil([&] { return WorkItemStore::List().isEmpty(); }, 20000));
    QString Listed;
    EXPECT_EQ(RunCtl({"list"}, &Listed), 0);
    EXPECT_TRUE(Listed.isEmpty()) << Listed.toStdString();
}

// Both wait for the one adding, so the second finds the first's label.
TEST_F(CtlServiceTest, TwoAddsAtOnceMakeOneJob)
{
    StartService();
    TFileLock Adding;
    ASSERT_TRUE(Adding.Open(Store + "/.jobbook.lock", O_RDWR | O_CREAT));
    ASSERT_TRUE(Adding.Lock(TFileLock::Exclusive, TFileLock::NoWait));
    const QStringList Args{"add", "restart", "2099-01-01", "10:00"};
    QProcess* First = StartCtl(Args);
    QProcess* Second = StartCtl(Args);
    EXPECT_FALSE(First->waitForFinished(2000));
    EXPECT_TRUE(WorkItemStore::List().isEmpty());
    Adding.Release();
    ASSERT_TRUE(First->waitForFinished(60000));
    ASSERT_TRUE(Second->waitForFinished(60000));
    EXPECT_EQ(QSet<int>({First->exitCode(), Second->exitCode()}), QSet<int>({0, 4}));
    EXPECT_EQ(WorkItemStore::List().size(), 1);
    QString Listed;
    ASSERT_EQ(RunCtl({"list"}, &Listed), 0);
    EXPECT_EQ(Listed.count(u'\n'), 1);
}
