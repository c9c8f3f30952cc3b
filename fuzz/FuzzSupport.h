#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

// What the fuzz targets share: a scratch file for the readers that only take
// a path, and a failure that libFuzzer reports with the input that caused it.
namespace Fuzz {

// One scratch file per process in $TMPDIR (scripts/fuzz.sh points it at a
// folder of its own, on tmpfs when it can).
inline QString ScratchFile(const char* Suffix)
{
    return QDir::temp().filePath(QStringLiteral("lumidor-fuzz-%1%2").arg(getpid()).arg(QLatin1String(Suffix)));
}

inline void WriteFile(const QString& FileName, const QByteArray& Bytes)
{
    QFile F(FileName);
    if (!F.open(QIODevice::WriteOnly | QIODevice::Truncate) || F.write(Bytes) != Bytes.size()) {
        fprintf(stderr, "cannot write the scratch file %s\n", qPrintable(FileName));
        std::abort();
    }
}

// A broken property of the code under test, not a harness problem: abort so
// that libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* What, const QString& Detail = QString())
{
    fprintf(stderr, "FUZZ FINDING: %s\n%s\n", What, qPrintable(Detail));
    std::abort();
}

inline void Check(bool Ok, const char* What, const QString& Detail = QString())
{
    if (!Ok)
        Fail(What, Detail);
}

// Input bytes taken from the front, for the targets that read a few
// parameters before the main text.
class TInput
{
public:
    TInput(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}

    uint8_t Byte()
    {
        if (FSize == 0)
            return 0;
        --FSize;
        return *FData++;
    }
    // Up to a NUL byte (or the end), as UTF-8.
    QString Text()
    {
        size_t N = 0;
        while (N < FSize && FData[N] != 0)
            ++N;
        const QString Out = QString::fromUtf8(reinterpret_cast<const char*>(FData), qsizetype(N));
        const size_t Used = N < FSize ? N + 1 : N;
        FData += Used;
        FSize -= Used;
        return Out;
    }
    QByteArray Rest()
    {
        QByteArray Out(reinterpret_cast<const char*>(FData), qsizetype(FSize));
        FData += FSize;
        FSize = 0;
        return Out;
    }

private:
    const uint8_t* FData;
    size_t FSize;
};

} // namespace Fuzz
