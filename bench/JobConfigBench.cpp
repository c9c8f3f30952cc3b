// measures: lumidor_jobs
#include "RegistryFiles.h"
#include "jobs/uJobConfig.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// 1,000 jobs added one by one to a new file: each one a read and an atomic,
// synced rewrite of the growing file.
void BM_AddJob1000(benchmark::State& State)
{
    for (auto _ : State) {
        State.PauseTiming();
        QTemporaryDir Dir;
        const QString Path = Dir.filePath(QStringLiteral("Lumidor.ini"));
        State.ResumeTiming();
        TJobConfig Config(Path);
        for (int I = 0; I < 1000; ++I)
            Config.AddJob(QStringLiteral("Zelvo_Lumidor%1").arg(20250102030405LL + I),
                          QStringLiteral("Shutdown computer at: 1/2/2025 3:04 PM"), true);
    }
    State.SetItemsProcessed(State.iterations() * 1000);
}
BENCHMARK(BM_AddJob1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One entry removed from the middle of a section of 10,000.
void BM_RemoveOneFrom10000(benchmark::State& State)
{
    QTemporaryDir Dir;
    const QString Path = Dir.filePath(QStringLiteral("Lumidor.ini"));
    const QByteArray Full = RegistryFiles::SectionOf(10000);
    TJobConfig Config(Path);
    for (auto _ : State) {
        State.PauseTiming();
        RegistryFiles::Write(Path, Full);
        State.ResumeTiming();
        Config.RemoveShutdownJob(QStringLiteral("zelvo_lumidor20250102036000,Shutdown computer at: 1/2/2025 3:04 PM"));
    }
    if (Config.ShutdownJobCount() != 9999)
        State.SkipWithError("the entry was not removed");
}
BENCHMARK(BM_RemoveOneFrom10000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
