#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

// Helpers shared by the install and package tests.
namespace Packaging {

const QString BuildDir = QStringLiteral(LUMIDOR_BUILD_DIR);
const QString SourceDir = QStringLiteral(LUMIDOR_SOURCE_DIR);

struct TRun
{
    bool Finished = false;
    int ExitCode = -1;
    QString Output; // standard output and error, merged
};

// Runs a program to its end; Env entries "NAME=value" are added to ours,
// "NAME" alone removes one.
inline TRun RunProgram(const QString& Program, const QStringList& Args, const QStringList& Env = {}, int TimeoutMs = 300000)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : Env) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        if (equals < 0)
            env.remove(entry);
        else
            env.insert(entry.left(equals), entry.mid(equals + 1));
    }
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(Program, Args);
    TRun run;
    run.Finished = process.waitForStarted(10000) && process.waitForFinished(TimeoutMs)
        && process.exitStatus() == QProcess::NormalExit;
    run.ExitCode = process.exitCode();
    run.Output = QString::fromLocal8Bit(process.readAll());
    return run;
}

inline bool Succeeded(const TRun& Result) { return Result.Finished && Result.ExitCode == 0; }

inline bool HasProgram(const QString& Name) { return !QStandardPaths::findExecutable(Name).isEmpty(); }

// What every installation holds, relative to the prefix; "/etc/..." entries
// are the files below the system configuration folder.
inline QStringList ExpectedFiles(const QString& SysconfDir)
{
    QStringList files{
        "bin/lumidor",
        "bin/lumidor-taskd",
        "bin/lumidorctl",
        "libexec/lumidor/Shutdown.exe",
        "share/applications/io.github.lumidor.Lumidor.desktop",
        "share/metainfo/io.github.lumidor.Lumidor.metainfo.xml",
        "share/icons/hicolor/48x48/apps/lumidor.png",
        "share/icons/hicolor/64x64/apps/lumidor.png",
        "share/icons/hicolor/128x128/apps/lumidor.png",
        "share/icons/hicolor/256x256/apps/lumidor.png",
        "share/icons/hicolor/scalable/apps/lumidor.svg",
        "share/man/man1/lumidor.1.gz",
        "share/man/man1/lumidor-taskd.1.gz",
        "share/man/man1/lumidorctl.1.gz",
        "share/bash-completion/completions/lumidorctl",
        "share/man/man8/lumidor-shutdown.8.gz",
        "share/doc/lumidor/copyright",
        "share/doc/lumidor/service/README.md",
        "lib/systemd/user/lumidor-taskd.service",
        "lib/systemd/user/default.target.wants/lumidor-taskd.service",
        SysconfDir + "/xdg/autostart/lumidor-taskd.desktop",
    };
    const QStringList languages = QDir(SourceDir + "/resources/Toolbox_Language").entryList({"*.lng"}, QDir::Files);
    EXPECT_GE(languages.size(), 1);
    for (const QString& language : languages)
        files << "share/lumidor/Toolbox_Language/" + language;
    return files;
}

// The value of Key in a desktop entry or unit file ("Key=value" lines).
inline QString KeyFileValue(const QString& Path, const QString& Key)
{
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(Key + QLatin1Char('=')))
            return line.mid(Key.size() + 1);
    }
    return QString();
}

} // namespace Packaging
