// Creates, replaces and deletes work items through the scheduler client and
// records runs in them as the task service does (under the store's lock), for
// ever, telling a journal which operation begins and when it has ended, until
// it is killed (or, on SIGTERM, until the operation it is in has ended).
//
//   soak_store_writer STORE JOURNAL SEED
//
// Journal lines: "R" once it is ready, then "B create <name> <parameters>",
// "B replace <name> <parameters>", "B delete <name>" or "B record <name> <8
// fields of the run time>" as an operation begins and "E" when it has ended.
// A record may aim at an item deleted a moment before: it must not come back.
#include "platform/TaskServiceLauncher.h"
#include "platform/WorkItemStore.h"
#include "scheduler/uTaskScheduler.h"

#include "soak/Journal.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>

using SoakJournal::Note;

namespace {

const char16_t* Wide(const QString& Text)
{
    return reinterpret_cast<const char16_t*>(Text.utf16());
}

} // namespace

int main(int Argc, char** Argv)
{
    if (!SoakJournal::Open(Argc, Argv, "usage: soak_store_writer STORE JOURNAL SEED\n"))
        return Argc != 4 ? 2 : 3;
    const QString Store = QString::fromLocal8Bit(Argv[1]);
    WorkItemStore::SetFolderForTesting(Store);
    // The client starts a service when none runs; not here.
    SetTaskServiceProgramForTesting(Store + QStringLiteral("/no-service"));
    const unsigned long Seed = std::strtoul(Argv[3], nullptr, 10);
    std::mt19937 Random(Seed);
    TTaskScheduler Scheduler;
    if (!Scheduler.Connected())
        return 4;

    QStringList Items;
    for (const QString& File : WorkItemStore::List())
        Items += WorkItemStore::ItemName(File);
    QString Deleted;
    Note("R");
    for (unsigned long Step = 0;; ++Step) {
        const unsigned Choice = Random() % 8;
        const std::string Parameters = "-s v" + std::to_string(Seed) + "_" + std::to_string(Step);
        if (Items.size() < 3 || (Items.size() < 12 && Choice < 2)) {
            TTaskInfo Info;
            Info.TaskName = QStringLiteral("Soak_%1_%2").arg(Seed).arg(Step);
            Info.ApplicationName = QStringLiteral("/bin/true");
            Info.Parameters = QString::fromStdString(Parameters);
            Info.StartTime = 47000.5 + double(Step % 100);
            Note("B create " + Info.TaskName.toStdString() + ' ' + Parameters);
            if (!Scheduler.CreateTask(Info))
                return 5;
            Items += Info.TaskName;
        } else if (Choice < 4) {
            const QString Name = Items[qsizetype(Random() % unsigned(Items.size()))];
            Note("B replace " + Name.toStdString() + ' ' + Parameters);
            ITask* Task = Scheduler.ActivateTask(Name);
            if (!Task || Task->SetParameters(Wide(QString::fromStdString(Parameters))) != S_OK
                || Scheduler.SaveTask(Task) != S_OK)
                return 6;
            Task->Release();
        } else if (Choice < 6 || (Choice == 7 && Deleted.isEmpty())) {
            const QString Name = Items[qsizetype(Random() % unsigned(Items.size()))];
            TCalendarTime Run;
            Run.wYear = 2026;
            Run.wMonth = uint16_t(1 + Step % 12);
            Run.wDayOfWeek = uint16_t(Step % 7);
            Run.wDay = uint16_t(1 + Step % 28);
            Run.wHour = uint16_t(Step % 24);
            Run.wMinute = uint16_t(Step % 60);
            Run.wSecond = uint16_t((Step / 60) % 60);
            Run.wMilliseconds = uint16_t(Step % 1000);
            char Fields[96];
            std::snprintf(Fields, sizeof Fields, "%u %u %u %u %u %u %u %u", Run.wYear, Run.wMonth, Run.wDayOfWeek,
                Run.wDay, Run.wHour, Run.wMinute, Run.wSecond, Run.wMilliseconds);
            Note("B record " + Name.toStdString() + ' ' + Fields);
            const TStoreResult Result = WorkItemStore::Update(Name, [&](TWorkItem& Item) {
                Item.MostRecentRun = Run;
                Item.Status = WorkItem::StatusRunning;
                return true;
            });
            if (Result != TStoreResult::Ok)
                return 7;
        } else if (Choice == 7) {
            // The service's recording of a run of an item deleted meanwhile.
            Note("B record " + Deleted.toStdString() + " 2026 1 1 1 1 1 1 1");
            TCalendarTime Run{2026, 1, 1, 1, 1, 1, 1, 1};
            if (WorkItemStore::Update(Deleted, [&](TWorkItem& Item) {
                    Item.MostRecentRun = Run;
                    return true;
                }) != TStoreResult::NotFound)
                return 8;
            Deleted.clear();
        } else {
            const qsizetype Index = qsizetype(Random() % unsigned(Items.size()));
            const QString Name = Items[Index];
            Note("B delete " + Name.toStdString());
            if (!Scheduler.DeleteTask(Name))
                return 9;
            Items.removeAt(Index);
            Deleted = Name;
        }
        Note("E");
        if (SoakJournal::Stopping())
            return 0;
    }
}
