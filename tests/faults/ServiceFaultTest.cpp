// The real lumidor-taskd, killed, restarted and robbed of its store, with a
// recording stand-in as the items' program. Nothing here shuts anything down.

#include "platform/TriggerSchedule.h"
#include "platform/WorkItemStore.h"
#include "support/TaskServiceFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

namespace {

using namespace ServiceTesting;

class ServiceFaultTest : public TTaskServiceFixture
{
protected:
    void KillService()
    {
        Service.kill();
        ASSERT_TRUE(Service.waitForFinished(10000));
    }
};

TEST_F(ServiceFaultTest, KilledAndRestartedBeforeItemsAreDueRunsEachOnceAtItsTimeAndLosesNothing)
{
    AvoidMinuteEnd(15);
    const qint64 Due = (NowSeconds() / 60 + 1) * 60;
    const TWorkItem Once = ShutdownItem(WorkItem::TriggerOnce, Due, WorkItem::FlagDeleteWhenDone | WorkItem::FlagRunOnlyIfLoggedOn);
    const TWorkItem Daily = ShutdownItem(WorkItem::TriggerDaily, Due, WorkItem::FlagRunOnlyIfLoggedOn);
    const TWorkItem Later = ShutdownItem(WorkItem::TriggerOnce, Due + 7200, WorkItem::FlagDeleteWhenDone);
    ASSERT_EQ(WorkItemStore::Create("once", Once), TStoreResult::Ok);
    ASSERT_EQ(WorkItemStore::Create("daily", Daily), TStoreResult::Ok);
    StartService();
    ASSERT_EQ(WorkItemStore::Create("later", Later), TStoreResult::Ok);
    QThread::msleep(300);
    KillService();

    // Nothing that was stored is gone or changed by the kill.
    TWorkItem Loaded;
    for (const auto& [Name, Expected] : {std::pair{"once", Once}, std::pair{"daily", Daily}, std::pair{"later", Later}}) {
        ASSERT_EQ(WorkItemStore::Load(Name, Loaded), TStoreResult::Ok) << Name;
        EXPECT_EQ(Loaded, Expected) << Name;
    }

    // The lock of the killed service went with it: a new one starts and runs
    // both items at their time, once each.
    StartService();
    ASSERT_TRUE(WaitUntil([&] { return Runs().size() >= 2; }, 80000)) << LogText().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !QFileInfo::exists(WorkItemStore::FilePath("once")); }, 10000)) << LogText().toStdString();
    QThread::msleep(1500);
    EXPECT_EQ(Runs().size(), 2);
    for (const QString& Line : Runs())
        EXPECT_GE(Line.split(' ').value(0).toDouble(), double(Due)) << Line.toStdString();
    EXPECT_EQ(WorkItemStore::List(), QStringList({"daily.job", "later.job"}));
}

TEST_F(ServiceFaultTest, KilledWhileAnItemRunsDoesNotRunItAgainAfterARestart)
{
    StandIn = WriteStandIn("Shutdown.exe", 3);
    StartService();
    AvoidMinuteEnd(20);
    // Saved during its minute: runs at once; kept when done.
    ASSERT_EQ(WorkItemStore::Create("running", ShutdownItem(WorkItem::TriggerOnce, NowSeconds(), WorkItem::FlagRunOnlyIfLoggedOn)),
        TStoreResult::Ok);
    ASSERT_TRUE(WaitUntil([&] { return !Runs().isEmpty(); }, 5000)) << LogText().toStdString();
    KillService();

    StartService();
    QThread::msleep(5000);
    EXPECT_EQ(Runs().size(), 1) << LogText().toStdString();
    TWorkItem Loaded;
    EXPECT_EQ(WorkItemStore::Load("running", Loaded), TStoreResult::Ok);
}

TEST_F(ServiceFaultTest, StoreDeletedWhileItRunsEndsItCleanlyAndANewStoreWorks)
{
    StartService();
    ASSERT_EQ(WorkItemStore::Create("ahead", ShutdownItem(WorkItem::TriggerOnce, NowSeconds() + 7200, WorkItem::FlagDeleteWhenDone)),
        TStoreResult::Ok);
    ASSERT_TRUE(QDir(Store).removeRecursively());
    ASSERT_TRUE(Service.waitForFinished(10000)) << LogText().toStdString();
    EXPECT_EQ(Service.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Service.exitCode(), 0) << LogText().toStdString();

    // The client makes the store again; a service started on it runs items.
    AvoidMinuteEnd(8);
    ASSERT_EQ(WorkItemStore::Create("thisminute", ShutdownItem(WorkItem::TriggerOnce, NowSeconds(), WorkItem::FlagDeleteWhenDone)),
        TStoreResult::Ok);
    StartService();
    ASSERT_TRUE(WaitUntil([&] { return Runs().size() == 1; }, 5000)) << LogText().toStdString();
}

} // namespace
