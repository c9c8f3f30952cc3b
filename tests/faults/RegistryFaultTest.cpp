#include "FaultSupport.h"

#include "jobs/uJobConfig.h"
#include "platform/Exceptions.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <memory>
#include <sys/stat.h>

namespace {

const QString Unable = QStringLiteral("Unable to write to ");

class RegistryFaultTest : public ::testing::Test
{
public:
    QString Folder() const { return Dir.filePath(QStringLiteral("Lumidor")); }
    QString Path() const { return Folder() + QStringLiteral("/Lumidor.ini"); }

    static QStringList Jobs(TJobConfig& Config)
    {
        QStringList Out;
        for (int I = 0; I < Config.ShutdownJobCount(); ++I)
            Out += Config.GetShutdownJob(I);
        for (int I = 0; I < Config.RestartJobCount(); ++I)
            Out += QStringLiteral("restart ") + Config.GetRestartJob(I);
        return Out;
    }

    static void AddThree(TJobConfig& Config)
    {
        Config.AddJob(QStringLiteral("Zelvo_Lumidor20240105093000"), QStringLiteral("Shutdown computer at: 1/5/2024 9:40 AM"), true);
        Config.AddJob(QStringLiteral("Zelvo_Lumidor20240105093100"), QStringLiteral("Shutdown computer at: 1/5/2024 9:41 AM"), true);
        Config.AddJob(QStringLiteral("Zelvo_Lumidor20240105093200"), QStringLiteral("Restart computer at: 1/5/2024 9:42 AM"), false);
    }

    // Every kind of write refuses with the registry's error, and the file
    // keeps its bytes.
    void ExpectEveryWriteRefused(TJobConfig& Config, const char* Case)
    {
        const QByteArray Before = Faults::ReadAll(Path());
        const std::function<void()> Writes[] = {
            [&] { Config.AddJob(QStringLiteral("Zelvo_Lumidor20240105094000"), QStringLiteral("Shutdown computer at: later"), true); },
            [&] { Config.RemoveShutdownJob(QStringLiteral("zelvo_lumidor20240105093000,Shutdown computer at: 1/5/2024 9:40 AM")); },
            [&] { Config.ClearRestartJobs(); },
        };
        for (const auto& Write : Writes) {
            try {
                Write();
                ADD_FAILURE() << Case << ": a write was reported as done";
            } catch (const EIniFileException& E) {
                EXPECT_EQ(E.Message(), Unable + Path()) << Case;
            }
        }
        EXPECT_EQ(Faults::ReadAll(Path()), Before) << Case;
    }

    QTemporaryDir Dir;
};

TEST_F(RegistryFaultTest, FullDiskRefusesWritesKeepsEveryJobAndRecoversWhenSpaceReturns)
{
    Faults::TSmallDisk Disk(Folder(), 64);
    if (!Disk.Mounted())
        GTEST_SKIP() << qPrintable(Disk.Why());
    TJobConfig Config(Path());
    AddThree(Config);
    const QStringList Stored = Jobs(Config);
    ASSERT_EQ(Stored.size(), 3);

    Disk.Fill();
    ExpectEveryWriteRefused(Config, "full disk");
    EXPECT_EQ(Jobs(Config), Stored);
    EXPECT_EQ(Faults::Leftovers(Folder(), {QStringLiteral("Lumidor.ini"), QStringLiteral("filler")}), QStringList());

    Disk.Free();
    Config.AddJob(QStringLiteral("Zelvo_Lumidor20240105095000"), QStringLiteral("after"), true);
    EXPECT_EQ(Jobs(Config).size(), 4);
}

TEST_F(RegistryFaultTest, ReadOnlyPlacesRefuseWritesAndStillReadEveryJob)
{
    struct TCase
    {
        const char* Name;
        // Makes the registry read-only; returns the undo, or null when this
        // machine cannot do it.
        std::function<std::function<void()>(RegistryFaultTest&)> Block;
    };
    const TCase Cases[] = {
        {"read-only mount",
         [](RegistryFaultTest& T) -> std::function<void()> {
             auto Disk = std::make_shared<Faults::TSmallDisk>(T.Folder(), 64);
             if (!Disk->Mounted())
                 return nullptr;
             {
                 TJobConfig Config(T.Path());
                 AddThree(Config);
             }
             if (!Disk->SetReadOnly(true))
                 return nullptr;
             return [Disk] { Disk->SetReadOnly(false); };
         }},
        {"folder without write permission",
         [](RegistryFaultTest& T) -> std::function<void()> {
             {
                 TJobConfig Config(T.Path());
                 AddThree(Config);
             }
             auto NoOverride = std::make_shared<Faults::TNoDacOverride>();
             if (!NoOverride->Active())
                 return nullptr;
             ::chmod(QFile::encodeName(T.Folder()).constData(), 0555);
             return [NoOverride, Folder = T.Folder()]() mutable {
                 ::chmod(QFile::encodeName(Folder).constData(), 0755);
                 NoOverride.reset();
             };
         }},
        {"immutable file",
         [](RegistryFaultTest& T) -> std::function<void()> {
             {
                 TJobConfig Config(T.Path());
                 AddThree(Config);
             }
             if (!Faults::SetImmutable(T.Path(), true))
                 return nullptr;
             return [Path = T.Path()] { Faults::SetImmutable(Path, false); };
         }},
    };
    for (const TCase& Case : Cases) {
        QDir(Folder()).removeRecursively();
        const std::function<void()> Unblock = Case.Block(*this);
        if (!Unblock) {
            std::cout << "[ SKIPPED  ] " << Case.Name << ": this machine cannot make it\n";
            continue;
        }
        TJobConfig Config(Path());
        const QStringList Stored = Jobs(Config);
        EXPECT_EQ(Stored.size(), 3) << Case.Name;
        ExpectEveryWriteRefused(Config, Case.Name);
        EXPECT_EQ(Jobs(Config), Stored) << Case.Name;
        Unblock();
        Config.AddJob(QStringLiteral("Zelvo_Lumidor20240105095000"), QStringLiteral("after"), true);
        EXPECT_EQ(Jobs(Config).size(), 4) << Case.Name;
    }
}

TEST_F(RegistryFaultTest, FileReplacedByADirectoryReadsAsNoJobsAndRefusesWrites)
{
    TJobConfig Config(Path());
    AddThree(Config);
    ASSERT_TRUE(QFile::remove(Path()));
    ASSERT_TRUE(QDir().mkdir(Path()));
    ASSERT_TRUE(QFile::copy(QStringLiteral(LUMIDOR_SOURCE_DIR "/CMakeLists.txt"), Path() + QStringLiteral("/inside")));

    EXPECT_EQ(Jobs(Config), QStringList());
    try {
        Config.AddJob(QStringLiteral("T"), QStringLiteral("label"), true);
        ADD_FAILURE() << "a write over a directory was reported as done";
    } catch (const EIniFileException& E) {
        EXPECT_EQ(E.Message(), Unable + Path());
    }
    // What the directory holds is not the registry's to remove.
    EXPECT_TRUE(QFileInfo(Path()).isDir());
    EXPECT_TRUE(QFile::exists(Path() + QStringLiteral("/inside")));
}

TEST_F(RegistryFaultTest, UnreadableFileRefusesWritesRatherThanLosingItsJobs)
{
    TJobConfig Config(Path());
    AddThree(Config);
    const QByteArray Before = Faults::ReadAll(Path());
    {
        Faults::TNoDacOverride NoOverride;
        if (!NoOverride.Active())
            GTEST_SKIP() << "cannot drop the capabilities that read past permission bits";
        ASSERT_EQ(::chmod(QFile::encodeName(Path()).constData(), 0), 0);
        // Unreadable reads as empty; a write would start from nothing and
        // lose the three jobs, so each one is refused.
        EXPECT_EQ(Jobs(Config), QStringList());
        ExpectEveryWriteRefused(Config, "unreadable file");
        ::chmod(QFile::encodeName(Path()).constData(), 0600);
    }
    EXPECT_EQ(Faults::ReadAll(Path()), Before);
    EXPECT_EQ(Jobs(Config).size(), 3);
}

} // namespace
