#include "scheduler/MsTask.h"

#include "SchedulerFixture.h"

#include <QFile>

#include <cstring>

namespace {

QString Take(LPWSTR Text)
{
    const QString Result = QString::fromUtf16(Text);
    CoTaskMemFree(Text);
    return Result;
}

const WCHAR* W(const QString& Text)
{
    return reinterpret_cast<const WCHAR*>(Text.utf16());
}

// A connected scheduler for each test, released at its end.
class MsTaskTest : public SchedulerFixture
{
protected:
    void SetUp() override
    {
        SchedulerFixture::SetUp();
        (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        void* Object = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler, &Object), S_OK);
        Scheduler = static_cast<ITaskScheduler*>(Object);
    }
    void TearDown() override
    {
        if (Scheduler)
            Scheduler->Release();
        CoUninitialize();
        SchedulerFixture::TearDown();
    }

    ITask* NewTask(const QString& Name)
    {
        IUnknown* Object = nullptr;
        EXPECT_EQ(Scheduler->NewWorkItem(W(Name), CLSID_CTask, IID_ITask, &Object), S_OK);
        return static_cast<ITask*>(Object);
    }
    HRESULT Save(ITask* Task)
    {
        IPersistFile* File = nullptr;
        EXPECT_EQ(Task->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&File)), S_OK);
        const HRESULT Result = File->Save(nullptr, 1);
        File->Release();
        return Result;
    }
    static TASK_TRIGGER Valid()
    {
        TASK_TRIGGER T = {};
        T.cbTriggerSize = sizeof(TASK_TRIGGER);
        T.wBeginYear = 2014;
        T.wBeginMonth = 7;
        T.wBeginDay = 4;
        T.wStartHour = 13;
        T.wStartMinute = 5;
        T.TriggerType = TASK_TIME_TRIGGER_DAILY;
        T.Type.Daily.DaysInterval = 1;
        return T;
    }

    ITaskScheduler* Scheduler = nullptr;
};

TEST(MsTaskRuntimeTest, ObjectsExistOnlyBetweenInitialiseAndUninitialise)
{
    void* Object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler, &Object),
        CO_E_NOTINITIALIZED);
    EXPECT_EQ(Object, nullptr);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoCreateInstance(CLSID_CTask, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler, &Object),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITask, &Object),
        E_NOINTERFACE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler, &Object),
        CO_E_NOTINITIALIZED);
}

TEST_F(MsTaskTest, NewWorkItemRefusesTakenAndInvalidNames)
{
    ITask* Task = NewTask(QStringLiteral("Job"));
    ASSERT_TRUE(Task);
    ASSERT_EQ(Save(Task), S_OK);
    Task->Release();

    IUnknown* Object = reinterpret_cast<IUnknown*>(8);
    EXPECT_EQ(Scheduler->NewWorkItem(u"Job", CLSID_CTask, IID_ITask, &Object), HRESULT_FILE_EXISTS);
    EXPECT_EQ(Scheduler->NewWorkItem(u"job.JOB", CLSID_CTask, IID_ITask, &Object), HRESULT_FILE_EXISTS);
    EXPECT_EQ(Scheduler->NewWorkItem(u"a.b", CLSID_CTask, IID_ITask, &Object), E_INVALIDARG);
    EXPECT_EQ(Scheduler->NewWorkItem(u"a/b", CLSID_CTask, IID_ITask, &Object), E_INVALIDARG);
    EXPECT_EQ(Scheduler->NewWorkItem(u"New", CLSID_CTaskScheduler, IID_ITask, &Object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(Scheduler->NewWorkItem(u"New", CLSID_CTask, IID_ITaskScheduler, &Object), E_NOINTERFACE);
    EXPECT_EQ(Object, reinterpret_cast<IUnknown*>(8));
}

TEST_F(MsTaskTest, SaveNeverReplacesAnItemThatAppearedMeanwhile)
{
    ITask* Task = NewTask(QStringLiteral("Race"));
    TWorkItem Other;
    Other.Comment = QStringLiteral("the other writer");
    ASSERT_EQ(WorkItemStore::Create(QStringLiteral("Race"), Other), TStoreResult::Ok);
    EXPECT_EQ(Save(Task), HRESULT_FILE_EXISTS);
    Task->Release();
    EXPECT_EQ(Stored(QStringLiteral("Race")).Comment, QStringLiteral("the other writer"));
}

TEST_F(MsTaskTest, ActivateAndDeleteFindItemsWithOrWithoutExtension)
{
    ITask* Task = NewTask(QStringLiteral("Job"));
    ASSERT_EQ(Task->SetComment(u"saved"), S_OK);
    ASSERT_EQ(Save(Task), S_OK);
    Task->Release();

    for (const char16_t* Name : {u"Job", u"Job.job", u"Job.JOB", u"JOB"}) {
        IUnknown* Object = nullptr;
        ASSERT_EQ(Scheduler->Activate(Name, IID_ITask, &Object), S_OK);
        LPWSTR Comment = nullptr;
        EXPECT_EQ(static_cast<ITask*>(Object)->GetComment(&Comment), S_OK);
        EXPECT_EQ(Take(Comment), QStringLiteral("saved"));
        Object->Release();
    }
    IUnknown* Untouched = reinterpret_cast<IUnknown*>(8);
    EXPECT_EQ(Scheduler->Activate(u"Missing", IID_ITask, &Untouched), HRESULT_FILE_NOT_FOUND);
    EXPECT_EQ(Untouched, reinterpret_cast<IUnknown*>(8));
    EXPECT_EQ(Scheduler->Delete(u"Missing"), HRESULT_FILE_NOT_FOUND);
    EXPECT_EQ(Scheduler->Delete(u"Job.job"), S_OK);
    EXPECT_EQ(Scheduler->Delete(u"Job"), HRESULT_FILE_NOT_FOUND);
}

TEST_F(MsTaskTest, SetTriggerValidatesTheRecord)
{
    ITask* Task = NewTask(QStringLiteral("Job"));
    WORD Index = 9;
    ITaskTrigger* Trigger = nullptr;
    ASSERT_EQ(Task->CreateTrigger(&Index, &Trigger), S_OK);
    EXPECT_EQ(Index, 0);
    TASK_TRIGGER Default = {};
    ASSERT_EQ(Trigger->GetTrigger(&Default), S_OK);
    EXPECT_EQ(Default.cbTriggerSize, 48);
    EXPECT_EQ(Default.rgFlags, TASK_TRIGGER_FLAG_DISABLED);
    EXPECT_EQ(Default.TriggerType, TASK_TIME_TRIGGER_DAILY);
    EXPECT_EQ(Default.Type.Daily.DaysInterval, 1);

    const auto With = [&](auto Change) {
        TASK_TRIGGER T = Valid();
        Change(T);
        return Trigger->SetTrigger(&T);
    };
    EXPECT_EQ(With([](TASK_TRIGGER&) {}), S_OK);
    EXPECT_EQ(With([](TASK_TRIGGER& T) { T.cbTriggerSize = 47; }), E_INVALIDARG);
    EXPECT_EQ(With([](TASK_TRIGGER& T) { T.wBeginMonth = 13; }), E_INVALIDARG);
    EXPECT_EQ(With([](TASK_TRIGGER& T) { T.wBeginDay = 32; }), E_INVALIDARG);
    EXPECT_EQ(With([](TASK_TRIGGER& T) { T.wBeginMonth = 2, T.wBeginDay = 30; }), E_INVALIDARG);
    EXPECT_EQ(With([](TASK_TRIGGER& T) { T.wStartHour = 24; }), E_INVALIDARG);
    EXPECT_EQ(With([](TASK_TRIGGER& T) { T.MinutesInterval = 5, T.MinutesDuration = 5; }), E_INVALIDARG);
    EXPECT_EQ(Trigger->SetTrigger(nullptr), E_INVALIDARG);

    TASK_TRIGGER Back = {};
    ASSERT_EQ(Trigger->GetTrigger(&Back), S_OK);
    const TASK_TRIGGER Expected = Valid();
    EXPECT_EQ(std::memcmp(&Back, &Expected, sizeof Back), 0);

    LPWSTR Text = nullptr;
    ASSERT_EQ(Task->GetTriggerString(0, &Text), S_OK);
    EXPECT_EQ(Take(Text), QStringLiteral("At 13:05 every day, starting 7/4/2014"));
    ITaskTrigger* Missing = nullptr;
    EXPECT_EQ(Task->GetTrigger(1, &Missing), SCHED_E_TRIGGER_NOT_FOUND);
    Trigger->Release();
    Task->Release();
}

TEST_F(MsTaskTest, AccountsAreTheStoreUsersOrForRootAnyUser)
{
    ITask* Task = NewTask(QStringLiteral("Job"));
    LPWSTR Account = nullptr;
    EXPECT_EQ(Task->GetAccountInformation(&Account), HRESULT_FILE_NOT_FOUND);
    // Without a password a user's item must be limited to their session.
    EXPECT_EQ(Task->SetAccountInformation(u"root", nullptr), SCHED_E_UNSUPPORTED_ACCOUNT_OPTION);
    ASSERT_EQ(Task->SetFlags(0xffffffff), S_OK);
    DWORD Flags = 0;
    ASSERT_EQ(Task->GetFlags(&Flags), S_OK);
    EXPECT_EQ(Flags, 0x7fffu);
    ASSERT_EQ(Task->SetFlags(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON), S_OK);

    EXPECT_EQ(Task->SetAccountInformation(u"no-such-user-here", nullptr), E_ACCESSDENIED);
    EXPECT_EQ(Task->SetAccountInformation(u"nobody", nullptr), S_OK);
    EXPECT_EQ(Task->SetAccountInformation(u"", u"secret"), E_INVALIDARG);
    EXPECT_EQ(Task->SetAccountInformation(u"root", nullptr), S_OK);
    ASSERT_EQ(Task->GetAccountInformation(&Account), S_OK);
    EXPECT_EQ(Take(Account), QStringLiteral("root"));
    ASSERT_EQ(Save(Task), S_OK);
    Task->Release();
    EXPECT_EQ(Stored(QStringLiteral("Job")).Account, QStringLiteral("root"));
}

TEST_F(MsTaskTest, NextRunTimeFollowsTheTriggers)
{
    SetNow(2014, 7, 10, 14, 0);
    const auto NextRun = [&](DWORD Flags, std::vector<TASK_TRIGGER> Triggers, SYSTEMTIME& Time) {
        ITask* Task = NewTask(QStringLiteral("Next"));
        (void)Task->SetFlags(Flags);
        for (const TASK_TRIGGER& Data : Triggers) {
            WORD Index = 0;
            ITaskTrigger* Trigger = nullptr;
            EXPECT_EQ(Task->CreateTrigger(&Index, &Trigger), S_OK);
            EXPECT_EQ(Trigger->SetTrigger(&Data), S_OK);
            Trigger->Release();
        }
        std::memset(&Time, 0xff, sizeof Time);
        const HRESULT Result = Task->GetNextRunTime(&Time);
        Task->Release();
        return Result;
    };
    TASK_TRIGGER Once = Valid();
    Once.TriggerType = TASK_TIME_TRIGGER_ONCE;
    TASK_TRIGGER Logon = Valid();
    Logon.TriggerType = TASK_EVENT_TRIGGER_AT_LOGON;
    TASK_TRIGGER Off = Valid();
    Off.rgFlags = TASK_TRIGGER_FLAG_DISABLED;
    const SYSTEMTIME Zero = {};

    SYSTEMTIME Time;
    ASSERT_EQ(NextRun(0, {Valid(), Once}, Time), S_OK);
    EXPECT_EQ(Time.wYear, 2014);
    EXPECT_EQ(Time.wMonth, 7);
    EXPECT_EQ(Time.wDay, 11);
    EXPECT_EQ(Time.wDayOfWeek, 5);
    EXPECT_EQ(Time.wHour, 13);
    EXPECT_EQ(Time.wMinute, 5);
    EXPECT_EQ(Time.wSecond, 0);

    const struct
    {
        const char* What;
        DWORD Flags;
        std::vector<TASK_TRIGGER> Triggers;
        HRESULT Result;
    } Cases[] = {
        {"disabled item", TASK_FLAG_DISABLED, {Valid()}, SCHED_S_TASK_DISABLED},
        {"no trigger", 0, {}, SCHED_S_TASK_NO_VALID_TRIGGERS},
        {"disabled trigger", 0, {Off}, SCHED_S_TASK_NO_VALID_TRIGGERS},
        {"event trigger only", 0, {Logon}, SCHED_S_EVENT_TRIGGER},
        {"run in the past", 0, {Once}, SCHED_S_TASK_NO_MORE_RUNS},
    };
    for (const auto& Case : Cases) {
        EXPECT_EQ(NextRun(Case.Flags, Case.Triggers, Time), Case.Result) << Case.What;
        EXPECT_EQ(std::memcmp(&Time, &Zero, sizeof Time), 0) << Case.What;
    }
}

TEST_F(MsTaskTest, FilesThatAreNotOursCannotBeOpenedAndTheOthersStillList)
{
    ITask* Task = NewTask(QStringLiteral("Good"));
    ASSERT_EQ(Save(Task), S_OK);
    Task->Release();
    const auto Write = [this](const QString& FileName, const QByteArray& Content) {
        QFile File(Folder + QLatin1Char('/') + FileName);
        ASSERT_TRUE(File.open(QIODevice::WriteOnly));
        File.write(Content);
    };
    const QByteArray Good = WorkItemStore::Serialize(TWorkItem());
    Write(QStringLiteral("Truncated.job"), Good.left(Good.size() / 2));
    Write(QStringLiteral("Foreign.job"), QByteArray(68, '\x01'));
    Write(QStringLiteral("Stranger.job"), Good);
    ASSERT_EQ(::chown(QFile::encodeName(Folder + QStringLiteral("/Stranger.job")).constData(), 65534, 65534), 0);
    ASSERT_TRUE(QFile::link(Folder + QStringLiteral("/Good.job"), Folder + QStringLiteral("/Link.job")));

    for (const char16_t* Name : {u"Truncated", u"Foreign", u"Stranger", u"Link"}) {
        IUnknown* Object = nullptr;
        EXPECT_TRUE(FAILED(Scheduler->Activate(Name, IID_ITask, &Object)));
        EXPECT_EQ(Object, nullptr);
    }
    IUnknown* Object = nullptr;
    ASSERT_EQ(Scheduler->Activate(u"Good", IID_ITask, &Object), S_OK);
    Object->Release();
    EXPECT_EQ(WorkItemStore::List(),
        (QStringList{QStringLiteral("Foreign.job"), QStringLiteral("Good.job"), QStringLiteral("Truncated.job")}));
    // A damaged item still holds its name.
    EXPECT_EQ(Scheduler->NewWorkItem(u"Truncated", CLSID_CTask, IID_ITask, &Object), HRESULT_FILE_EXISTS);
}

} // namespace
