#include "FaultSupport.h"

#include "platform/WorkItemStore.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <iostream>
#include <sys/stat.h>

namespace {

TWorkItem Item(const QString& Comment)
{
    TWorkItem I;
    I.Application = QStringLiteral("/usr/libexec/lumidor/Shutdown.exe");
    I.Parameters = QStringLiteral("-s");
    I.Comment = Comment;
    I.Flags = WorkItem::FlagDeleteWhenDone | WorkItem::FlagRunOnlyIfLoggedOn;
    TTriggerData T;
    T.wBeginYear = 2030;
    T.wBeginMonth = 1;
    T.wBeginDay = 5;
    T.wStartHour = 22;
    I.Triggers.push_back(T);
    return I;
}

class StoreFaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WorkItemStore::SetFolderForTesting(Store());
    }
    void TearDown() override { WorkItemStore::SetFolderForTesting(QString()); }

    QString Mount() const { return Dir.filePath(QStringLiteral("disk")); }
    QString Store() const { return Mount() + QStringLiteral("/tasks"); }

    void CreateTwo()
    {
        ASSERT_EQ(WorkItemStore::Create(QStringLiteral("Zelvo_Lumidor1"), Item(QStringLiteral("one"))), TStoreResult::Ok);
        ASSERT_EQ(WorkItemStore::Create(QStringLiteral("Zelvo_Lumidor2"), Item(QStringLiteral("two"))), TStoreResult::Ok);
    }

    // Both items are listed and load as they were written.
    void ExpectBothIntact(const char* Case)
    {
        EXPECT_EQ(WorkItemStore::List(), QStringList({QStringLiteral("Zelvo_Lumidor1.job"), QStringLiteral("Zelvo_Lumidor2.job")})) << Case;
        TWorkItem Loaded;
        EXPECT_EQ(WorkItemStore::Load(QStringLiteral("Zelvo_Lumidor1"), Loaded), TStoreResult::Ok) << Case;
        EXPECT_EQ(Loaded, Item(QStringLiteral("one"))) << Case;
        EXPECT_EQ(WorkItemStore::Load(QStringLiteral("zelvo_lumidor2.JOB"), Loaded), TStoreResult::Ok) << Case;
        EXPECT_EQ(Loaded, Item(QStringLiteral("two"))) << Case;
    }

    QStringList Leftovers() const
    {
        return Faults::Leftovers(Store(), {QStringLiteral("Zelvo_Lumidor1.job"), QStringLiteral("Zelvo_Lumidor2.job"), QStringLiteral(".lock")});
    }

    QTemporaryDir Dir;
};

TEST_F(StoreFaultTest, FullDiskRefusesNewAndChangedItemsAndKeepsTheStoredOnes)
{
    Faults::TSmallDisk Disk(Mount(), 64);
    if (!Disk.Mounted())
        GTEST_SKIP() << qPrintable(Disk.Why());
    CreateTwo();
    Disk.Fill();

    EXPECT_EQ(WorkItemStore::Create(QStringLiteral("Zelvo_Lumidor3"), Item(QStringLiteral("three"))), TStoreResult::IoError);
    EXPECT_EQ(WorkItemStore::Replace(QStringLiteral("Zelvo_Lumidor1"), Item(QStringLiteral("changed"))), TStoreResult::IoError);
    EXPECT_EQ(WorkItemStore::Update(QStringLiteral("Zelvo_Lumidor2"), [](TWorkItem& I) {
        I.Comment = QStringLiteral("changed");
        return true;
    }), TStoreResult::IoError);
    ExpectBothIntact("full disk");
    EXPECT_EQ(Leftovers(), QStringList());

    Disk.Free();
    EXPECT_EQ(WorkItemStore::Create(QStringLiteral("Zelvo_Lumidor3"), Item(QStringLiteral("three"))), TStoreResult::Ok);
    EXPECT_EQ(WorkItemStore::Replace(QStringLiteral("Zelvo_Lumidor1"), Item(QStringLiteral("changed"))), TStoreResult::Ok);
}

// Permission bits are no fault here: the store sets its own folder back to
// 0700 before it writes. What the owner cannot undo is a read-only mount or
// an immutable folder.
TEST_F(StoreFaultTest, ReadOnlyStoreRefusesEveryChangeAndStillListsAndLoads)
{
    struct TCase
    {
        const char* Name;
        bool UseMount;
    };
    for (const TCase Case : {TCase{"read-only mount", true}, TCase{"immutable folder", false}}) {
        std::unique_ptr<Faults::TSmallDisk> Disk;
        if (Case.UseMount) {
            Disk = std::make_unique<Faults::TSmallDisk>(Mount(), 64);
            if (!Disk->Mounted()) {
                std::cout << "[ SKIPPED  ] " << Case.Name << ": " << qPrintable(Disk->Why()) << "\n";
                continue;
            }
        }
        QDir(Store()).removeRecursively();
        CreateTwo();
        if (Case.UseMount) {
            ASSERT_TRUE(Disk->SetReadOnly(true));
        } else if (!Faults::SetImmutable(Store(), true)) {
            std::cout << "[ SKIPPED  ] " << Case.Name << ": the file system has no immutable flag\n";
            continue;
        }

        EXPECT_EQ(WorkItemStore::Create(QStringLiteral("Zelvo_Lumidor3"), Item(QStringLiteral("three"))), TStoreResult::IoError) << Case.Name;
        EXPECT_EQ(WorkItemStore::Replace(QStringLiteral("Zelvo_Lumidor1"), Item(QStringLiteral("changed"))), TStoreResult::IoError) << Case.Name;
        EXPECT_EQ(WorkItemStore::Remove(QStringLiteral("Zelvo_Lumidor2")), TStoreResult::IoError) << Case.Name;
        ExpectBothIntact(Case.Name);

        if (Case.UseMount)
            ASSERT_TRUE(Disk->SetReadOnly(false));
        else
            ASSERT_TRUE(Faults::SetImmutable(Store(), false));
        EXPECT_EQ(Leftovers(), QStringList()) << Case.Name;
        EXPECT_EQ(WorkItemStore::Remove(QStringLiteral("Zelvo_Lumidor2")), TStoreResult::Ok) << Case.Name;
    }
}

TEST_F(StoreFaultTest, ItemFileReplacedByADirectoryIsNeitherListedNorLoadedNorRemoved)
{
    CreateTwo();
    ASSERT_TRUE(QDir().mkdir(Store() + QStringLiteral("/Zelvo_Lumidor3.job")));
    TWorkItem Loaded;
    EXPECT_EQ(WorkItemStore::Load(QStringLiteral("Zelvo_Lumidor3"), Loaded), TStoreResult::AccessDenied);
    EXPECT_EQ(WorkItemStore::Replace(QStringLiteral("Zelvo_Lumidor3"), Item(QStringLiteral("x"))), TStoreResult::AccessDenied);
    EXPECT_EQ(WorkItemStore::Remove(QStringLiteral("Zelvo_Lumidor3")), TStoreResult::AccessDenied);
    // The name is taken: a new item must not be linked into the directory.
    EXPECT_EQ(WorkItemStore::Create(QStringLiteral("Zelvo_Lumidor3"), Item(QStringLiteral("x"))), TStoreResult::Exists);
    EXPECT_TRUE(QFileInfo(Store() + QStringLiteral("/Zelvo_Lumidor3.job")).isDir());
    ExpectBothIntact("directory beside them");
}

TEST_F(StoreFaultTest, UnreadableItemFailsToLoadAndLeavesTheOthersAlone)
{
    CreateTwo();
    const QString Path = Store() + QStringLiteral("/Zelvo_Lumidor1.job");
    const QByteArray Before = Faults::ReadAll(Path);
    {
        Faults::TNoDacOverride NoOverride;
        if (!NoOverride.Active())
            GTEST_SKIP() << "cannot drop the capabilities that read past permission bits";
        ASSERT_EQ(::chmod(QFile::encodeName(Path).constData(), 0), 0);
        TWorkItem Loaded;
        EXPECT_EQ(WorkItemStore::Load(QStringLiteral("Zelvo_Lumidor1"), Loaded), TStoreResult::IoError);
        // A change needs the current item; without it nothing is written.
        bool Called = false;
        EXPECT_NE(WorkItemStore::Update(QStringLiteral("Zelvo_Lumidor1"), [&](TWorkItem&) {
            Called = true;
            return true;
        }), TStoreResult::Ok);
        EXPECT_FALSE(Called);
        EXPECT_EQ(WorkItemStore::Load(QStringLiteral("Zelvo_Lumidor2"), Loaded), TStoreResult::Ok);
        EXPECT_EQ(WorkItemStore::List().size(), 2);
        ::chmod(QFile::encodeName(Path).constData(), 0600);
    }
    EXPECT_EQ(Faults::ReadAll(Path), Before);
    ExpectBothIntact("after it is readable again");
}

TEST_F(StoreFaultTest, DeletedStoreFolderHasNoItemsAndIsMadeAgainByTheNextCreate)
{
    CreateTwo();
    ASSERT_TRUE(QDir(Store()).removeRecursively());
    TWorkItem Loaded;
    EXPECT_EQ(WorkItemStore::List(), QStringList());
    EXPECT_EQ(WorkItemStore::Load(QStringLiteral("Zelvo_Lumidor1"), Loaded), TStoreResult::NotFound);
    EXPECT_EQ(WorkItemStore::Remove(QStringLiteral("Zelvo_Lumidor1")), TStoreResult::NotFound);
    EXPECT_EQ(WorkItemStore::Create(QStringLiteral("Zelvo_Lumidor3"), Item(QStringLiteral("three"))), TStoreResult::Ok);
    EXPECT_EQ(QFileInfo(Store()).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther), 0);
    EXPECT_EQ(WorkItemStore::List(), QStringList({QStringLiteral("Zelvo_Lumidor3.job")}));
}

} // namespace
