#pragma once

#include "platform/DateTime.h"
#include "platform/ProcessList.h"
#include "scheduler/MsTask.h"

#include <QString>
#include <chrono>
#include <cstdint>

// One scheduled job as the wizard and the scheduler client pass it. Every
// field starts empty or zero; neither writer sets them all.
struct TTaskInfo
{
    QString TaskName;
    QString ApplicationName;
    QString Parameters;
    QString WorkingDirectory;
    QString AccountName;
    QString Comment;
    uint32_t Priority = 0;
    uint32_t MaxRunTime = 0;
    QString TriggerText;
    SYSTEMTIME NextRunTime = {};
    TDateTime StartTime = 0;
    TDateTime EndTime = 0;
    uint8_t TriggerKind = 0; // 0 once, 1 daily, 2 weekly; 3 to 8 as the trigger type; above 8 once
    uint8_t WeekDay = 0; // 0 Sunday ... 6 Saturday, for a weekly trigger
};

// The program's contact with the task scheduler. It connects once, when it is
// made; every operation asks the scheduler afresh, except that GetTaskInfo
// right after a TaskExists of the same job uses the item that call opened.
class TTaskScheduler
{
public:
    TTaskScheduler();
    ~TTaskScheduler();
    TTaskScheduler(const TTaskScheduler&) = delete;
    TTaskScheduler& operator=(const TTaskScheduler&) = delete;

    HRESULT Connect();
    // Whether the one attempt to connect succeeded.
    bool Connected() const { return Scheduler != nullptr; }
    bool CreateTask(const TTaskInfo& Info);
    // FileName carries ".job"; a name without it never matches.
    bool TaskExists(const QString& FileName);
    bool GetTaskInfo(const QString& Name, TTaskInfo& Info);
    bool DeleteTask(const QString& Name);

    // The work item, with one reference for the caller; null when it cannot be opened.
    ITask* ActivateTask(const QString& Name);
    bool SetTaskTrigger(ITask* Task, const TTaskInfo& Info);
    HRESULT SaveTask(ITask* Task);

    // The first process in snapshot order whose executable name equals
    // ExeName, ignoring the case of A to Z; 0 when none.
    uint32_t FindProcessId(const QString& ExeName) const;

private:
    ITask* TakeFound(const QString& Name);
    void ForgetFound();

    ITaskScheduler* Scheduler = nullptr;
    // The item TaskExists opened, for a GetTaskInfo of the same name that
    // follows at once: the job list asks both of every job, and opening each
    // item twice would double the cost of a long list.
    ITask* FFound = nullptr;
    QString FFoundName;
    std::chrono::steady_clock::time_point FFoundAt;
};

// The account that owns a process. UserName and Domain stay as they came
// when the process or its owner cannot be found; SidText is always set.
void GetProcessAccount(uint32_t ProcessId, QString& UserName, QString& Domain, QString& SidText);

bool SidToText(const TAccountSid& Sid, QString& Text);
