#pragma once

#include "platform/DateTime.h"
#include "platform/ProcessList.h"
#include "platform/TaskServiceLauncher.h"
#include "platform/WorkItemStore.h"
#include "support/TestTriggers.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ctime>

// A temporary store, UTC as the local zone, no desktop shell running, no task
// service to start, and the real clock unless a test sets one.
class SchedulerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Root.isValid());
        Folder = Root.path() + QStringLiteral("/tasks");
        WorkItemStore::SetFolderForTesting(Folder);
        SavedZone = qgetenv("TZ");
        qputenv("TZ", "UTC");
        tzset();
        ProcessList::SetSnapshotForTesting([] { return std::vector<TProcessEntry>(); });
        SavedServiceProgram = TaskServiceProgram();
        SetTaskServiceProgramForTesting(Root.path() + QStringLiteral("/no-service"));
    }
    void TearDown() override
    {
        ProcessList::SetSnapshotForTesting({});
        SetTaskServiceProgramForTesting(SavedServiceProgram);
        DateTime::SetClockForTesting({});
        SavedZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", SavedZone);
        tzset();
        WorkItemStore::SetFolderForTesting({});
    }

    static TDateTime At(int Year, int Month, int Day, int Hour = 0, int Minute = 0, int Second = 0)
    {
        TDateTime Value = 0;
        EXPECT_TRUE(DateTime::TryEncode({Year, Month, Day, Hour, Minute, Second, 0}, Value));
        return Value;
    }
    static void SetNow(int Year, int Month, int Day, int Hour, int Minute)
    {
        const QDateTime Now(QDate(Year, Month, Day), QTime(Hour, Minute));
        DateTime::SetClockForTesting([Now] { return Now; });
    }
    static TTriggerData Trigger(uint32_t Type, int Year, int Month, int Day, int Hour, int Minute)
    {
        return TestTriggers::On(Type, Year, Month, Day, Hour, Minute);
    }
    TWorkItem Stored(const QString& Name)
    {
        TWorkItem Item;
        EXPECT_EQ(WorkItemStore::Load(Name, Item), TStoreResult::Ok) << Name.toStdString();
        return Item;
    }

    QTemporaryDir Root;
    QString SavedServiceProgram;
    QString Folder;
    QByteArray SavedZone;
};
