#include "WizardFixture.h"

#include "platform/Exceptions.h"

// Adding, listing and deleting jobs through the window, against the test's
// own store, registry, clock and shutdown tool.

namespace {

const QString ShutdownAt921 = QStringLiteral("Shutdown computer at: 12/8/2014 9:21 PM");

TTriggerData OnlyTrigger(const QString& Name)
{
    TWorkItem Item;
    EXPECT_EQ(WorkItemStore::Load(Name, Item), TStoreResult::Ok) << Name.toStdString();
    EXPECT_EQ(Item.Triggers.size(), 1u);
    return Item.Triggers.empty() ? TTriggerData() : Item.Triggers.front();
}

} // namespace

class JobsTest : public WizardTest
{
protected:
    // Next on the first page, then Finished with what Choose sets up.
    void Add(TfrmMain& F, const std::function<void()>& Choose = {})
    {
        if (F.pnMain->ActivePage() == F.ptMain)
            Click(F.btnNext);
        ASSERT_EQ(F.pnMain->ActivePage(), F.ptAdd);
        if (Choose)
            Choose();
        Click(F.btnNext);
    }
    QStringList Rows(TfrmMain& F) const
    {
        QStringList Captions;
        for (int I = 0; I < F.lvView->Items().Count(); ++I)
            Captions += F.lvView->Items()[I]->Caption();
        return Captions;
    }
    QString LastBox() const { return Boxes.empty() ? QString() : Boxes.back().Text; }
};

TEST_F(JobsTest, AddCreatesTheWorkItemRecordsItAndReturnsToTheFirstPage)
{
    TfrmMain& F = MakeForm();
    // The folder is made at creation; the first add makes it again if it went.
    ASSERT_TRUE(QDir(QFileInfo(RegistryPath()).path()).removeRecursively());
    SetPickerDate(F.dtPicker, QDate(2015, 1, 2));
    Add(F);

    EXPECT_EQ(LastBox(), "Added successfully!");
    EXPECT_EQ(F.pnMain->ActivePage(), F.ptMain);
    EXPECT_EQ(F.btnNext->Caption(), "Next >");
    EXPECT_EQ(Rows(F), QStringList{ShutdownAt921});
    EXPECT_EQ(F.lbl_Job->Caption(), ShutdownAt921);
    EXPECT_EQ(RegistryText(), "[Schedule_Shutdown]\r\nJob1=Zelvo_Lumidor20141208212000," + ShutdownAt921 + "\r\n");

    TWorkItem Item;
    ASSERT_EQ(WorkItemStore::Load("Zelvo_Lumidor20141208212000", Item), TStoreResult::Ok);
    EXPECT_EQ(Item.Application, FHome.filePath("system/Shutdown.exe"));
    EXPECT_EQ(Item.Parameters, "-s");
    EXPECT_EQ(Item.Flags, 0x2002u);
    ASSERT_EQ(Item.Triggers.size(), 1u);
    EXPECT_EQ(Item.Triggers[0].TriggerType, 0u);
    EXPECT_EQ(QTime(Item.Triggers[0].wStartHour, Item.Triggers[0].wStartMinute), QTime(21, 21));

    // The pickers show the moment of the add, also the one the user changed.
    for (TDateTimePicker* P : {F.dtPicker, F.DateTimePickerOnce, F.DateTimePickerDaily})
        EXPECT_DOUBLE_EQ(P->DateTime(), At(2014, 12, 8, 21, 20)) << P->Name().toStdString();
}

TEST_F(JobsTest, TheSameChoiceTwiceIsRefusedAsExisting)
{
    TfrmMain& F = MakeForm();
    Add(F);
    SetNow(QDate(2014, 12, 8), QTime(21, 20, 5));
    Add(F);
    EXPECT_EQ(LastBox(), "Scheduled task already exists!");
    EXPECT_EQ(F.pnMain->ActivePage(), F.ptAdd);
    EXPECT_EQ(ShutdownEntries().size(), 1);
    // Letter case of A to Z does not make a label new.
    EXPECT_TRUE(F.JobLabelExists(ShutdownAt921.toUpper(), true));
    EXPECT_FALSE(F.JobLabelExists(ShutdownAt921, false));
}

TEST_F(JobsTest, AShutdownAndARestartAtTheSameTimeAreBothAccepted)
{
    TfrmMain& F = MakeForm();
    Add(F);
    SetNow(QDate(2014, 12, 8), QTime(21, 20, 1));
    Add(F, [&] { Click(F.rbRestart); });
    EXPECT_EQ(LastBox(), "Added successfully!");
    EXPECT_EQ(Rows(F), (QStringList{ShutdownAt921, "Restart computer at: 12/8/2014 9:21 PM"}));
    EXPECT_EQ(RestartEntries(), QStringList{"Zelvo_Lumidor20141208212001,Restart computer at: 12/8/2014 9:21 PM"});
}

TEST_F(JobsTest, AWorkItemTheSchedulerRefusesIsNotRecordedAndTheChoiceStays)
{
    TfrmMain& F = MakeForm();
    Add(F);
    // Same second, same work item name: the scheduler refuses it.
    Add(F, [&] { Click(F.rbRestart); });

    EXPECT_EQ(LastBox(), "The scheduled task could not be created!");
    EXPECT_EQ(F.pnMain->ActivePage(), F.ptAdd);
    EXPECT_TRUE(F.rbRestart->Checked());
    EXPECT_EQ(F.btnNext->Caption(), "Finished");
    EXPECT_TRUE(RestartEntries().isEmpty());
    EXPECT_EQ(Rows(F), QStringList{ShutdownAt921});
    // The work item of that name is still the shut-down.
    TWorkItem Item;
    ASSERT_EQ(WorkItemStore::Load("Zelvo_Lumidor20141208212000", Item), TStoreResult::Ok);
    EXPECT_EQ(Item.Parameters, "-s");
}

TEST_F(JobsTest, OnlyAfterAndTheFirstOrAtAreTestedAgainstTheClock)
{
    TfrmMain& F = MakeForm();
    Add(F, [&] {
        Click(F.rbOrat1);
        SetPickerDate(F.dtPicker, QDate(2014, 12, 7));
        SetPickerTime(F.DateTimePickerOnce, QTime(22, 0));
    });
    EXPECT_EQ(LastBox(), "Please set up a valid schedule time!");
    EXPECT_EQ(F.pnMain->ActivePage(), F.ptAdd);
    EXPECT_TRUE(F.rbOrat1->Checked());

    // "After:" whose time went by while the user waited.
    Click(F.rbAfter);
    SetNow(QDate(2014, 12, 8), QTime(21, 21, 0, 1));
    Click(F.btnNext);
    EXPECT_EQ(LastBox(), "Please set up a valid schedule time!");
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_TRUE(ShutdownEntries().isEmpty());
}

TEST_F(JobsTest, TheSecondOrAtEarlierTodayIsAcceptedWithTodaysDate)
{
    TfrmMain& F = MakeForm();
    Add(F, [&] {
        Click(F.rbOrat2);
        SetPickerTime(F.DateTimePickerDaily, QTime(8, 0));
    });
    EXPECT_EQ(LastBox(), "Added successfully!");
    EXPECT_EQ(Rows(F), QStringList{"Shutdown computer at: 8:00 AM Everyday"});
    const TTriggerData T = OnlyTrigger("Zelvo_Lumidor20141208212000");
    EXPECT_EQ(QDate(T.wBeginYear, T.wBeginMonth, T.wBeginDay), QDate(2014, 12, 8));
    EXPECT_EQ(QTime(T.wStartHour, T.wStartMinute), QTime(8, 0));
}

TEST_F(JobsTest, WeekdayChoicesGiveTheirTriggers)
{
    struct TCase
    {
        int Index;
        uint32_t Type;
        uint16_t Days; // rgfDaysOfTheWeek of a weekly trigger
        const char* Label;
    };
    const TCase Cases[] = {
        {4, 2, 0x8, "Shutdown computer at: 9:20 PM Wednesday"},
        {0, 1, 0, "Shutdown computer at: 9:20 PM Everyday"},
        {7, 2, 0x40, "Shutdown computer at: 9:20 PM Saturday"},
    };
    TfrmMain& F = MakeForm();
    int Second = 0;
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Label);
        SetNow(QDate(2014, 12, 8), QTime(21, 20, Second++));
        Add(F, [&] {
            Click(F.rbOrat2);
            Choose(F.cbOption2, Case.Index);
        });
        ASSERT_EQ(LastBox(), "Added successfully!");
        const TTriggerData T = OnlyTrigger(QStringLiteral("Zelvo_Lumidor201412082120%1").arg(Second - 1, 2, 10, QLatin1Char('0')));
        EXPECT_EQ(T.TriggerType, Case.Type);
        EXPECT_EQ(T.TypeWords[0], 1);
        EXPECT_EQ(T.TypeWords[1], Case.Days);
        EXPECT_TRUE(F.JobLabelExists(QString::fromUtf8(Case.Label), true));
    }
}

TEST_F(JobsTest, AnEmptyRegistryListsNothingAndKeepsDeleteDisabled)
{
    TfrmMain& F = MakeForm();
    EXPECT_EQ(F.lvView->Items().Count(), 0);
    EXPECT_EQ(F.lbl_Job->Caption(), "N/A");
    Click(F.rbDelete);
    Click(F.btnNext);
    EXPECT_FALSE(F.btnNext->Enabled());
    bool AllDeleted = false;
    EXPECT_FALSE(F.DeleteTickedJobs(AllDeleted));
}

TEST_F(JobsTest, EntriesWhoseWorkItemIsGoneArePrunedOthersStay)
{
    AddJob("Zelvo_Lumidor1", "Shutdown computer at: kept", true, At(2014, 12, 9, 8, 0));
    AddJob("Zelvo_Lumidor2", "Shutdown computer at: gone", true, At(2014, 12, 9, 9, 0));
    AddJob("Zelvo_Lumidor3", "Restart computer at: gone", false, At(2014, 12, 9, 9, 0));
    TJobConfig(RegistryPath()).AddJob("NoCommaHere", QString(), true);
    ASSERT_EQ(WorkItemStore::Remove("Zelvo_Lumidor2"), TStoreResult::Ok);
    ASSERT_EQ(WorkItemStore::Remove("Zelvo_Lumidor3"), TStoreResult::Ok);

    TfrmMain& F = MakeForm();
    EXPECT_EQ(Rows(F), QStringList{"Shutdown computer at: kept"});
    EXPECT_EQ(F.lvView->Items()[0]->SubItems(), QStringList{"Zelvo_Lumidor1"});
    EXPECT_EQ(F.lvView->Items()[0]->GroupID(), 0);
    // A value without a comma is not a job the list can show, and stays.
    EXPECT_EQ(ShutdownEntries(), (QStringList{"Zelvo_Lumidor1,Shutdown computer at: kept", "NoCommaHere"}));
    EXPECT_TRUE(RestartEntries().isEmpty());
}

TEST_F(JobsTest, RowsListShutdownsLastEntryFirstThenRestarts)
{
    AddJob("S1", "s1", true, At(2014, 12, 9, 8, 0));
    AddJob("R1", "r1", false, At(2014, 12, 9, 8, 0));
    AddJob("S2", "s2", true, At(2014, 12, 9, 8, 0));
    AddJob("R2", "r2", false, At(2014, 12, 9, 8, 0));
    TfrmMain& F = MakeForm();
    EXPECT_EQ(Rows(F), (QStringList{"s2", "s1", "r2", "r1"}));
    EXPECT_EQ(F.lvView->Items()[2]->GroupID(), 1);
}

TEST_F(JobsTest, TheFirstPageNamesTheNextJobDue)
{
    struct TJob
    {
        const char* Name;
        bool IsShutdown;
        TDateTime Start;
        uint8_t Kind;
    };
    const TDateTime InAnHour = At(2014, 12, 8, 22, 20);
    const TDateTime Tomorrow = At(2014, 12, 9, 21, 20);
    struct TCase
    {
        const char* Title;
        std::vector<TJob> Jobs; // in the order they were added
        const char* Named;
    };
    const TCase Cases[] = {
        {"restart sooner", {{"shut", true, Tomorrow, 0}, {"restart", false, InAnHour, 0}}, "restart"},
        {"shut-down sooner", {{"shut", true, InAnHour, 0}, {"restart", false, Tomorrow, 0}}, "shut"},
        {"tie of two actions: the restart, listed later", {{"restart", false, InAnHour, 0}, {"shut", true, InAnHour, 0}}, "restart"},
        {"tie of two shut-downs: the older entry", {{"older", true, InAnHour, 0}, {"newer", true, InAnHour, 0}}, "older"},
        {"a daily job whose first run passed, added last",
            {{"soon", true, InAnHour, 0}, {"restart", false, InAnHour, 0}, {"daily", true, At(2014, 12, 1, 7, 0), 1}}, "daily"},
        {"a past job not listed first does not count",
            {{"past", true, At(2014, 12, 1, 7, 0), 1}, {"soon", true, InAnHour, 0}, {"later", false, Tomorrow, 0}}, "soon"},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Title);
        ASSERT_TRUE(QFile::remove(RegistryPath()) || !QFile::exists(RegistryPath()));
        for (const QString& Item : WorkItemStore::List())
            ASSERT_EQ(WorkItemStore::Remove(Item), TStoreResult::Ok);
        int Number = 0;
        for (const TJob& Job : Case.Jobs)
            AddJob(QStringLiteral("Job%1").arg(++Number), QString::fromUtf8(Job.Name), Job.IsShutdown, Job.Start, Job.Kind);
        TfrmMain& F = MakeForm();
        EXPECT_EQ(F.lbl_Job->Caption(), QString::fromUtf8(Case.Named));
        EXPECT_EQ(F.lvView->Items().Count(), int(Case.Jobs.size()));
    }
}

TEST_F(JobsTest, DeletingTwoTickedJobsAbortsOnceDeletesBothAndReportsOnce)
{
    AddJob("Zelvo_Lumidor1", "Shutdown computer at: first", true, At(2014, 12, 9, 8, 0));
    AddJob("Zelvo_Lumidor2", "Shutdown computer at: second", true, At(2014, 12, 9, 9, 0));
    AddJob("Zelvo_Lumidor3", "Restart computer at: third", false, At(2014, 12, 9, 10, 0));
    TfrmMain& F = MakeForm();
    ASSERT_EQ(F.lbl_Job->Caption(), "Shutdown computer at: first");
    Click(F.rbDelete);
    Click(F.btnNext);
    F.lvView->Items()[1]->SetChecked(true); // first
    F.lvView->Items()[2]->SetChecked(true); // third
    ASSERT_TRUE(F.btnNext->Enabled());
    Click(F.btnNext);

    EXPECT_EQ(ToolCalls(1), QStringList{"-a"});
    EXPECT_EQ(ToolCalls(), QStringList{"-a"});
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Deleted successfully!");
    EXPECT_FALSE(ItemExists("Zelvo_Lumidor1"));
    EXPECT_TRUE(ItemExists("Zelvo_Lumidor2"));
    EXPECT_FALSE(ItemExists("Zelvo_Lumidor3"));
    EXPECT_EQ(ShutdownEntries(), QStringList{"Zelvo_Lumidor2,Shutdown computer at: second"});
    EXPECT_TRUE(RestartEntries().isEmpty());
    EXPECT_EQ(F.pnMain->ActivePage(), F.ptMain);
    EXPECT_EQ(Rows(F), QStringList{"Shutdown computer at: second"});
    EXPECT_EQ(F.lbl_Job->Caption(), "Shutdown computer at: second");
}

TEST_F(JobsTest, ALabelWithCommasIsListedWholeAndDeletedWhole)
{
    AddJob("Zelvo_Lumidor1", "Arrêt, le 8, à 9:30", true, At(2014, 12, 9, 8, 0));
    TfrmMain& F = MakeForm();
    EXPECT_EQ(Rows(F), QStringList{"Arrêt, le 8, à 9:30"});
    EXPECT_EQ(F.lvView->Items()[0]->SubItems(), QStringList{"Zelvo_Lumidor1"});
    Click(F.rbDelete);
    Click(F.btnNext);
    F.lvView->Items()[0]->SetChecked(true);
    Click(F.btnNext);
    EXPECT_TRUE(ShutdownEntries().isEmpty());
    EXPECT_FALSE(ItemExists("Zelvo_Lumidor1"));
}

// The store refuses every change while its lock file cannot be opened.
TEST_F(JobsTest, AJobTheSchedulerWillNotDeleteKeepsItsEntryAndRow)
{
    AddJob("Zelvo_Lumidor1", "Shutdown computer at: stays", true, At(2014, 12, 9, 8, 0));
    AddJob("Zelvo_Lumidor2", "Shutdown computer at: already gone", true, At(2014, 12, 9, 9, 0));
    AddJob("Zelvo_Lumidor3", "Restart computer at: not ticked", false, At(2014, 12, 9, 10, 0));
    TfrmMain& F = MakeForm();
    ASSERT_EQ(WorkItemStore::Remove("Zelvo_Lumidor2"), TStoreResult::Ok);
    ASSERT_TRUE(QFile::remove(WorkItemStore::LockFilePath()));
    ASSERT_TRUE(QDir().mkdir(WorkItemStore::LockFilePath()));
    Click(F.rbDelete);
    Click(F.btnNext);
    F.lvView->Items()[0]->SetChecked(true);
    F.lvView->Items()[1]->SetChecked(true);
    Click(F.btnNext);

    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "The scheduled task could not be deleted!");
    EXPECT_TRUE(ItemExists("Zelvo_Lumidor1"));
    EXPECT_EQ(ShutdownEntries(), QStringList{"Zelvo_Lumidor1,Shutdown computer at: stays"});
    EXPECT_EQ(RestartEntries(), QStringList{"Zelvo_Lumidor3,Restart computer at: not ticked"});
    EXPECT_EQ(F.pnMain->ActivePage(), F.ptMain);
    EXPECT_EQ(Rows(F), (QStringList{"Shutdown computer at: stays", "Restart computer at: not ticked"}));
}

TEST_F(JobsTest, ARegistryWriteThatFailsTakesTheNewWorkItemBack)
{
    TfrmMain& F = MakeForm();
    Click(F.btnNext);
    // A folder where the file belongs: every write to it fails.
    ASSERT_TRUE(QDir().mkpath(RegistryPath()));
    EXPECT_THROW(F.btnNextClick(F.btnNext), EIniFileException);
    EXPECT_TRUE(WorkItemStore::List().isEmpty());
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(JobsTest, AnUnconnectedSchedulerListsNothingAndRemovesNothing)
{
    AddJob("Zelvo_Lumidor1", "Shutdown computer at: kept", true, At(2014, 12, 9, 8, 0));
    // A store that is not a folder: the scheduler is not there.
    const QString Elsewhere = FHome.filePath("not-a-folder");
    QFile Plain(Elsewhere);
    ASSERT_TRUE(Plain.open(QIODevice::WriteOnly));
    Plain.close();
    WorkItemStore::SetFolderForTesting(Elsewhere);

    TfrmMain& F = MakeForm();
    EXPECT_EQ(F.lvView->Items().Count(), 0);
    EXPECT_EQ(F.lbl_Job->Caption(), "N/A");
    EXPECT_EQ(ShutdownEntries(), QStringList{"Zelvo_Lumidor1,Shutdown computer at: kept"});
    Add(F);
    EXPECT_EQ(LastBox(), "The scheduled task could not be created!");
    EXPECT_EQ(ShutdownEntries().size(), 1);
}
