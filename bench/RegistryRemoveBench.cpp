// measures: lumidor_jobs
// The registry's remove on 10,000 entries (BM_RemoveOneFrom10000 in
// JobConfigBench.cpp gives its absolute time), here against its floor in the
// same run: reading the file once and writing it back atomically, which any
// remove done as one atomic rewrite must do.
#include "RegistryFiles.h"
#include "jobs/uJobConfig.h"
#include "platform/AtomicFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

void BM_RemoveOneFrom10000AgainstRewrite(benchmark::State& State)
{
    QTemporaryDir Dir;
    const QString Path = Dir.filePath(QStringLiteral("Lumidor.ini"));
    const QByteArray Full = RegistryFiles::SectionOf(10000);
    TJobConfig Config(Path);
    double RemoveSeconds = 0;
    double BaselineSeconds = 0;
    for (auto _ : State) {
        RegistryFiles::Write(Path, Full);
        const auto Start = Clock::now();
        Config.RemoveShutdownJob(QStringLiteral("zelvo_lumidor20250102036000,Shutdown computer at: 1/2/2025 3:04 PM"));
        const auto Removed = Clock::now();
        QFile File(Path);
        if (!File.open(QIODevice::ReadOnly) || !AtomicFile::Write(Path, File.readAll()))
            State.SkipWithError("the baseline rewrite failed");
        const auto Rewritten = Clock::now();
        const double Remove = std::chrono::duration<double>(Removed - Start).count();
        RemoveSeconds += Remove;
        BaselineSeconds += std::chrono::duration<double>(Rewritten - Removed).count();
        State.SetIterationTime(Remove);
    }
    if (Config.ShutdownJobCount() != 9999)
        State.SkipWithError("the entry was not removed");
    State.counters["baseline_ms"] = BaselineSeconds * 1000 / double(State.iterations());
    State.counters["ratio"] = RemoveSeconds / BaselineSeconds;
}
BENCHMARK(BM_RemoveOneFrom10000AgainstRewrite)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
