// measures: lumidor_i18n
// The language scan of 100 files, against reading the same 100 files once in
// the same run: the scan loads each file, so the ratio is the cost of
// decoding and parsing on top of the reads.
#include "i18n/uLanguage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// The shipped language files, found from this source file's own path.
QString ShippedFolder()
{
    return QFileInfo(QString::fromUtf8(__FILE__)).absoluteDir().filePath(QStringLiteral("../resources/Toolbox_Language"));
}

// 100 language files: the shipped ones (every encoding) copied round-robin.
QString MakeFolder(QTemporaryDir& Dir)
{
    const QDir Shipped(ShippedFolder());
    const QStringList Names = Shipped.entryList({QStringLiteral("*.lng")}, QDir::Files, QDir::Name);
    if (Names.isEmpty())
        std::abort();
    for (int I = 0; I < 100; ++I)
        QFile::copy(Shipped.filePath(Names[I % Names.size()]),
            Dir.filePath(QStringLiteral("Language%1.lng").arg(I, 3, 10, QLatin1Char('0'))));
    return Dir.path();
}

qint64 ReadEveryFileOnce(const QString& Folder)
{
    qint64 Bytes = 0;
    for (const QString& Name : QDir(Folder).entryList({QStringLiteral("*.lng")}, QDir::Files, QDir::Name)) {
        QFile F(Folder + u'/' + Name);
        if (F.open(QIODevice::ReadOnly))
            Bytes += F.readAll().size();
    }
    return Bytes;
}

void BM_ScanLanguages100(benchmark::State& State)
{
    QTemporaryDir Dir;
    const QString Folder = MakeFolder(Dir);
    double ScanSeconds = 0;
    double BaselineSeconds = 0;
    for (auto _ : State) {
        const auto Start = Clock::now();
        TLanguage Language(QStringLiteral("Lumidor"));
        Language.ScanLanguages(Folder);
        benchmark::DoNotOptimize(Language.DisplayNames().size());
        const auto Scanned = Clock::now();
        benchmark::DoNotOptimize(ReadEveryFileOnce(Folder));
        const auto Read = Clock::now();
        const double Scan = std::chrono::duration<double>(Scanned - Start).count();
        ScanSeconds += Scan;
        BaselineSeconds += std::chrono::duration<double>(Read - Scanned).count();
        State.SetIterationTime(Scan);
        if (Language.LanguageNames().size() != 100)
            State.SkipWithError("the scan did not list 100 files");
    }
    State.counters["baseline_ms"] = BaselineSeconds * 1000 / double(State.iterations());
    State.counters["ratio"] = ScanSeconds / BaselineSeconds;
}
BENCHMARK(BM_ScanLanguages100)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
