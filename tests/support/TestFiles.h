#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <sys/stat.h>

// Files as the tests write and read them.
namespace TestFiles {

// Writes Bytes as the whole file, making its folders; false when it cannot.
inline bool Write(const QString& Path, const QByteArray& Bytes)
{
    (void)QDir().mkpath(QFileInfo(Path).path());
    QFile File(Path);
    return File.open(QIODevice::WriteOnly | QIODevice::Truncate) && File.write(Bytes) == Bytes.size();
}

// The whole file; empty when it cannot be read.
inline QByteArray Read(const QString& Path)
{
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

// A program that appends a line "<date +Stamp> <its arguments>" to Record at
// each run, then sleeps SleepSeconds: the stand-in for the shutdown tool.
inline bool WriteRecordingProgram(const QString& Path, const QString& Record, const QString& Stamp, int SleepSeconds = 0)
{
    QString Script = QStringLiteral("#!/bin/sh\necho \"$(date +%1) $*\" >> '%2'\n").arg(Stamp, Record);
    if (SleepSeconds > 0)
        Script += QStringLiteral("sleep %1\n").arg(SleepSeconds);
    return Write(Path, Script.toUtf8()) && ::chmod(QFile::encodeName(Path).constData(), 0755) == 0;
}

} // namespace TestFiles
