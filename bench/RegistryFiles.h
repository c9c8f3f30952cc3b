#pragma once
// Registry files for the registry's benchmarks.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdlib>

namespace RegistryFiles {

// A "Schedule_Shutdown" section of Count entries as the wizard writes them.
inline QByteArray SectionOf(int Count)
{
    QByteArray Bytes = "[Schedule_Shutdown]\r\n";
    for (int I = 1; I <= Count; ++I)
        Bytes += "Job" + QByteArray::number(I) + "=Zelvo_Lumidor2025010203" + QByteArray::number(1000 + I)
                 + ",Shutdown computer at: 1/2/2025 3:04 PM\r\n";
    return Bytes;
}

// A benchmark that cannot set up its file measures nothing: it stops.
inline void Write(const QString& Path, const QByteArray& Bytes)
{
    QFile File(Path);
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate) || File.write(Bytes) != Bytes.size())
        std::abort();
}

} // namespace RegistryFiles
