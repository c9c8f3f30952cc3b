#include "jobs/uJobBook.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/AppFrame_New.h"
#include "platform/DateFormat.h"
#include "platform/Exceptions.h"
#include "platform/ProcessList.h"
#include "platform/WorkItemStore.h"
#include "support/TestFiles.h"

// The job book on a store and registry of the test's own, at a set moment.

namespace {

class JobBookTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Home.isValid());
        WorkItemStore::SetFolderForTesting(Home.filePath("store"));
        SetSystemDirForTesting(Home.filePath("system"));
        ProcessList::SetSnapshotForTesting([] { return std::vector<TProcessEntry>(); });
        DateTime::SetClockForTesting([] { return QDateTime(QDate(2014, 12, 8), QTime(21, 20), Qt::LocalTime); });
        SetFormatSettings(TFormatSettings());
    }
    void TearDown() override
    {
        DateTime::SetClockForTesting({});
        ProcessList::SetSnapshotForTesting({});
        SetSystemDirForTesting({});
        WorkItemStore::SetFolderForTesting({});
        RefreshFormatSettings();
    }
    QString Registry() const { return Home.filePath("config/Lumidor.ini"); }
    static TJobChoice Choice(TJobKind Kind, TJobRepeat Repeat, int Day, int Hour, int Minute, uint8_t WeekDay = 0)
    {
        return {Kind, Repeat, DateTime::EncodeDate(2014, 12, Day) + DateTime::EncodeTime(Hour, Minute), WeekDay};
    }

    QTemporaryDir Home;
};

} // namespace

// The window hands its rows (names and labels only, in whatever format the
// labels were written): the schedule is read from each work item.
TEST_F(JobBookTest, AScheduleIsOneJobWhateverTheLabelSays)
{
    TJobBook Book(Registry());
    QString Name;
    const TJobChoice Weekly = Choice(TJobKind::Shutdown, TJobRepeat::Weekly, 8, 18, 0, 3);
    ASSERT_EQ(Book.Add(Weekly, "Herunterfahren um: 18:00 Mittwoch", nullptr, Name), TJobResult::Done);
    ASSERT_EQ(Book.Add(Choice(TJobKind::Shutdown, TJobRepeat::Once, 9, 8, 0), "9.12.2014 08:00", nullptr, Name,
                  TJobNaming::NextFree),
        TJobResult::Done);
    QList<TJob> Rows;
    for (const TJob& Job : Book.List())
        Rows.append({Job.Name, Job.Label, Job.Kind, TTaskInfo()});

    struct TCase
    {
        TJobChoice Choice;
        TJobResult Result;
    };
    const TCase Cases[] = {
        // Another first day, the same weekly run.
        {Choice(TJobKind::Shutdown, TJobRepeat::Weekly, 1, 18, 0, 3), TJobResult::Exists},
        {Choice(TJobKind::Shutdown, TJobRepeat::Weekly, 8, 18, 0, 4), TJobResult::Done},
        {Choice(TJobKind::Restart, TJobRepeat::Weekly, 8, 18, 0, 3), TJobResult::Done},
        {Choice(TJobKind::Shutdown, TJobRepeat::Daily, 8, 18, 0), TJobResult::Done},
        // Seconds are not kept, so they tell nothing apart.
        {{TJobKind::Shutdown, TJobRepeat::Once, DateTime::EncodeDate(2014, 12, 9) + DateTime::EncodeTime(8, 0, 42), 0},
            TJobResult::Exists},
        {Choice(TJobKind::Shutdown, TJobRepeat::Once, 10, 8, 0), TJobResult::Done},
    };
    for (const TCase& Case : Cases) {
        TJobBook Fresh(Registry());
        EXPECT_EQ(Fresh.Add(Case.Choice, "a label of its own", &Rows, Name, TJobNaming::NextFree), Case.Result)
            << DateTime::ToQDateTime(Case.Choice.Moment).toString().toStdString() << " " << int(Case.Choice.Repeat);
    }
}

// A registry that cannot be written takes the work item back and says why.
TEST_F(JobBookTest, ARefusedRegistryWriteLeavesNoItemAndHasAReason)
{
    ASSERT_TRUE(QDir().mkpath(Registry()));
    TJobBook Book(Registry());
    QString Name;
    EXPECT_THROW(Book.Add(Choice(TJobKind::Shutdown, TJobRepeat::Once, 9, 8, 0), "s", nullptr, Name), EError);
    EXPECT_TRUE(WorkItemStore::List().isEmpty());
    EXPECT_EQ(TJobBook::WriteProblem(Registry()), QString::fromLocal8Bit(strerror(EISDIR)));
    EXPECT_TRUE(TJobBook::WriteProblem(Home.filePath("config/other.ini")).isEmpty());
    EXPECT_FALSE(TJobBook::WriteProblem(Home.filePath("missing/other.ini")).isEmpty());
}

// Reading a user's jobs before there are any makes no folder.
TEST_F(JobBookTest, AReadOnlyBookOfNoJobsMakesNoFolder)
{
    const TJobBook Empty(Home.filePath("none/Lumidor.ini"), TJobBookAccess::ReadOnly);
    EXPECT_TRUE(Empty.Connected());
    EXPECT_FALSE(QDir(Home.filePath("none")).exists());
    EXPECT_FALSE(QDir(Home.filePath("store")).exists());
}
