// RefreshJobList with 1,000 jobs (500 shutdown, 500 restart, each a registry
// entry and a work item), against reading the same files once in the same run.
#include "controls/PPageNote.h"
#include "platform/AppFrame_New.h"
#include "platform/ProcessList.h"
#include "platform/TaskServiceLauncher.h"
#include "platform/WorkItemStore.h"
#include "toolkit/ComCtrls.h"
#include "wizard/uMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Jobs = 1000;

QApplication& App()
{
    static int Argc = 1;
    static char Name[] = "bench";
    static char* Argv[] = {Name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication Instance(Argc, Argv);
    return Instance;
}

// Folders of its own, a store with the items, and the registry naming them.
class TJobsOnDisk
{
public:
    TJobsOnDisk()
    {
        for (const char* Name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_DIRS"})
            qputenv(Name, (FHome.path() + u'/' + QString::fromLatin1(Name)).toLocal8Bit());
        WorkItemStore::SetFolderForTesting(FHome.filePath(QStringLiteral("store")));
        SetTaskServiceProgramForTesting(FHome.filePath(QStringLiteral("no-service")));
        ProcessList::SetSnapshotForTesting([] { return std::vector<TProcessEntry>(); });
        SetSystemDirForTesting(FHome.filePath(QStringLiteral("system")));

        QByteArray Shutdown = "[Schedule_Shutdown]\r\n";
        QByteArray Restart = "[Schedule_Restart]\r\n";
        for (int I = 0; I < Jobs; ++I) {
            const bool IsShutdown = I % 2 == 0;
            const QString Name = QStringLiteral("Zelvo_Lumidor2030%1").arg(I, 10, 10, QLatin1Char('0'));
            TWorkItem Item;
            Item.Application = FHome.filePath(QStringLiteral("system/Shutdown.exe"));
            Item.Parameters = IsShutdown ? QStringLiteral("-s") : QStringLiteral("-r");
            Item.Flags = WorkItem::FlagDeleteWhenDone | WorkItem::FlagRunOnlyIfLoggedOn;
            TTriggerData T;
            T.wBeginYear = 2030;
            T.wBeginMonth = 1 + I % 12;
            T.wBeginDay = 1 + I % 28;
            T.wStartHour = I % 24;
            T.wStartMinute = I % 60;
            Item.Triggers.push_back(T);
            if (WorkItemStore::Create(Name, Item) != TStoreResult::Ok)
                std::abort();
            const QByteArray Label = QStringLiteral("%1 computer at: %2/%3/2030 %4:%5")
                                         .arg(IsShutdown ? QStringLiteral("Shutdown") : QStringLiteral("Restart"))
                                         .arg(T.wBeginMonth).arg(T.wBeginDay).arg(T.wStartHour).arg(T.wStartMinute, 2, 10, QLatin1Char('0'))
                                         .toUtf8();
            QByteArray& Section = IsShutdown ? Shutdown : Restart;
            Section += "Job" + QByteArray::number(I / 2 + 1) + '=' + Name.toUtf8() + ',' + Label + "\r\n";
        }
        const QString Folder = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Zelvo/Corvane V8/Lumidor");
        QDir().mkpath(Folder);
        FRegistry = Folder + QStringLiteral("/Lumidor.ini");
        QFile F(FRegistry);
        if (!F.open(QIODevice::WriteOnly) || F.write(Shutdown + Restart) <= 0)
            std::abort();
    }
    ~TJobsOnDisk()
    {
        SetSystemDirForTesting({});
        ProcessList::SetSnapshotForTesting({});
        SetTaskServiceProgramForTesting({});
        WorkItemStore::SetFolderForTesting({});
    }

    // The baseline: every byte the refresh needs, read once.
    qint64 ReadEverything() const
    {
        qint64 Bytes = 0;
        QFile Registry(FRegistry);
        if (Registry.open(QIODevice::ReadOnly))
            Bytes += Registry.readAll().size();
        const QString Store = WorkItemStore::Folder();
        for (const QString& Name : QDir(Store).entryList({QStringLiteral("*.job")}, QDir::Files)) {
            QFile Item(Store + u'/' + Name);
            if (Item.open(QIODevice::ReadOnly))
                Bytes += Item.readAll().size();
        }
        return Bytes;
    }

private:
    QTemporaryDir FHome;
    QString FRegistry;
};

void BM_RefreshJobList1000(benchmark::State& State)
{
    App();
    TJobsOnDisk Disk;
    auto Form = std::make_unique<TfrmMain>();
    double RefreshSeconds = 0;
    double BaselineSeconds = 0;
    for (auto _ : State) {
        const auto Start = Clock::now();
        Form->RefreshJobList();
        const auto Refreshed = Clock::now();
        benchmark::DoNotOptimize(Disk.ReadEverything());
        const auto Read = Clock::now();
        const double Refresh = std::chrono::duration<double>(Refreshed - Start).count();
        RefreshSeconds += Refresh;
        BaselineSeconds += std::chrono::duration<double>(Read - Refreshed).count();
        State.SetIterationTime(Refresh);
    }
    if (Form->lvView->Items().Count() != Jobs)
        State.SkipWithError("the list does not show every job");
    State.counters["baseline_ms"] = BaselineSeconds * 1000 / double(State.iterations());
    State.counters["ratio"] = RefreshSeconds / BaselineSeconds;
    Form.reset();
}
BENCHMARK(BM_RefreshJobList1000)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
