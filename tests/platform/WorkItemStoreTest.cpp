#include "platform/WorkItemStore.h"
#include "support/TestTriggers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class WorkItemStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Root.isValid());
        Folder = Root.path() + QStringLiteral("/tasks");
        WorkItemStore::SetFolderForTesting(Folder);
    }
    void TearDown() override { WorkItemStore::SetFolderForTesting({}); }

    void WriteRaw(const QString& FileName, const QByteArray& Content, int Mode = 0600)
    {
        ASSERT_TRUE(WorkItemStore::EnsureFolder());
        QFile File(Folder + QLatin1Char('/') + FileName);
        ASSERT_TRUE(File.open(QIODevice::WriteOnly));
        File.write(Content);
        File.close();
        ASSERT_EQ(::chmod(QFile::encodeName(File.fileName()).constData(), mode_t(Mode)), 0);
    }

    static TWorkItem Sample()
    {
        TWorkItem Item;
        Item.Application = QStringLiteral("/usr/libexec/lumidor/Shutdown.exe");
        Item.Parameters = QStringLiteral("-s");
        Item.Comment = QStringLiteral("two\nlines with \\ and \r and \u00e9\u20ac");
        Item.HasAccount = true;
        Item.Account = QStringLiteral("alice");
        Item.Flags = 0x2002;
        Item.MostRecentRun = {2014, 7, 5, 4, 13, 5, 0, 0};
        TTriggerData Trigger = TestTriggers::AsClientWrites(3, 2014, 7, 4, 13, 5);
        Trigger.MinutesDuration = 0xffffffff;
        Trigger.TypeWords[0] = 0xffff;
        Trigger.TypeWords[1] = 0x8000;
        Trigger.TypeWords[2] = 0xfff;
        Item.Triggers = {Trigger, TTriggerData()};
        return Item;
    }

    QTemporaryDir Root;
    QString Folder;
};

TEST_F(WorkItemStoreTest, SerializedItemParsesBackToEveryValue)
{
    const TWorkItem Item = Sample();
    TWorkItem Back;
    ASSERT_TRUE(WorkItemStore::Parse(WorkItemStore::Serialize(Item), Back));
    EXPECT_EQ(Back, Item);

    TWorkItem WithoutAccount;
    ASSERT_TRUE(WorkItemStore::Parse(WorkItemStore::Serialize(WithoutAccount), Back));
    EXPECT_FALSE(Back.HasAccount);
    EXPECT_EQ(Back, WithoutAccount);
}

TEST_F(WorkItemStoreTest, DamagedTextIsRefused)
{
    const QByteArray Good = WorkItemStore::Serialize(Sample());
    QByteArray Duplicate = Good;
    Duplicate.replace("Flags=8194\n", "Flags=8194\nFlags=2\n");
    QByteArray BadTrigger = Good;
    BadTrigger.replace("Trigger=48 0 2014", "Trigger=48 0 -2014");
    const struct
    {
        const char* What;
        QByteArray Content;
    } Cases[] = {
        {"empty", {}},
        {"truncated before the end line", Good.left(Good.size() - 4)},
        {"truncated inside a line", Good.left(Good.size() / 2)},
        {"no final line feed", Good.chopped(1)},
        {"text after the end line", Good + "Flags=1\n"},
        {"other magic", QByteArray(Good).replace("LumidorWorkItem 1", "LumidorWorkItem 2")},
        {"missing key", QByteArray(Good).replace("Priority=32\n", "")},
        {"unknown key", QByteArray(Good).replace("Priority=32\n", "Priority=32\nColour=red\n")},
        {"duplicate key", Duplicate},
        {"signed number", QByteArray(Good).replace("Flags=8194", "Flags=+8194")},
        {"number beyond 32 bits", QByteArray(Good).replace("Flags=8194", "Flags=4294967296")},
        {"trigger field beyond 16 bits", QByteArray(Good).replace("Trigger=48 0 2014", "Trigger=48 0 65536")},
        {"negative trigger field", BadTrigger},
        {"short trigger", QByteArray(Good).replace(" 0 0 0 0\nEnd", "\nEnd")},
        {"bad escape", QByteArray(Good).replace("Parameters=-s", "Parameters=\\x")},
        {"invalid UTF-8", QByteArray(Good).replace("Parameters=-s", "Parameters=\xff\xfe")},
        {"binary", QByteArray("\x00\x01\x02\x03\x04", 5)},
    };
    for (const auto& Case : Cases) {
        TWorkItem Item;
        Item.Comment = QStringLiteral("untouched");
        EXPECT_FALSE(WorkItemStore::Parse(Case.Content, Item)) << Case.What;
        EXPECT_EQ(Item.Comment, QStringLiteral("untouched")) << Case.What;
    }
}

TEST_F(WorkItemStoreTest, ItemNamesTakeAnOptionalJobExtensionAndNoOtherDot)
{
    const struct
    {
        QString Name;
        QString Item;
    } Cases[] = {
        {QStringLiteral("Zelvo_Lumidor20140704130540"), QStringLiteral("Zelvo_Lumidor20140704130540")},
        {QStringLiteral("a.job"), QStringLiteral("a")},
        {QStringLiteral("a.JOB"), QStringLiteral("a")},
        {QStringLiteral("a.job.job"), {}},
        {QStringLiteral(".job"), {}},
        {QString(), {}},
        {QStringLiteral("a.txt"), {}},
        {QStringLiteral("../a"), {}},
        {QStringLiteral("a/b"), {}},
        {QStringLiteral("a\\b"), {}},
        {QStringLiteral("a\nb"), {}},
        {QString(251, QLatin1Char('x')), QString(251, QLatin1Char('x'))},
        {QString(252, QLatin1Char('x')), {}},
    };
    for (const auto& Case : Cases)
        EXPECT_EQ(WorkItemStore::ItemName(Case.Name), Case.Item) << Case.Name.toStdString();
}

TEST_F(WorkItemStoreTest, CreateMakesAPrivateFolderAndNeverReplacesAnItem)
{
    TWorkItem First = Sample();
    ASSERT_EQ(WorkItemStore::Create(QStringLiteral("Job1"), First), TStoreResult::Ok);
    struct stat Info;
    ASSERT_EQ(::stat(QFile::encodeName(Folder).constData(), &Info), 0);
    EXPECT_EQ(Info.st_mode & 0777, 0700u);

    TWorkItem Second;
    Second.Application = QStringLiteral("/bin/other");
    EXPECT_EQ(WorkItemStore::Create(QStringLiteral("Job1"), Second), TStoreResult::Exists);
    EXPECT_EQ(WorkItemStore::Create(QStringLiteral("JOB1.job"), Second), TStoreResult::Exists);
    TWorkItem Back;
    ASSERT_EQ(WorkItemStore::Load(QStringLiteral("job1.JOB"), Back), TStoreResult::Ok);
    EXPECT_EQ(Back, First);
    EXPECT_EQ(WorkItemStore::List(), QStringList{QStringLiteral("Job1.job")});
    EXPECT_EQ(WorkItemStore::Create(QStringLiteral("a.b"), Second), TStoreResult::InvalidName);
}

TEST_F(WorkItemStoreTest, ReplaceUpdateAndRemoveActOnExistingItemsOnly)
{
    TWorkItem Item = Sample();
    EXPECT_EQ(WorkItemStore::Replace(QStringLiteral("Gone"), Item), TStoreResult::NotFound);
    EXPECT_EQ(WorkItemStore::Update(QStringLiteral("Gone"), [](TWorkItem&) { return true; }), TStoreResult::NotFound);
    EXPECT_EQ(WorkItemStore::Remove(QStringLiteral("Gone")), TStoreResult::NotFound);

    ASSERT_EQ(WorkItemStore::Create(QStringLiteral("Job"), Item), TStoreResult::Ok);
    Item.Parameters = QStringLiteral("-r");
    ASSERT_EQ(WorkItemStore::Replace(QStringLiteral("Job"), Item), TStoreResult::Ok);
    ASSERT_EQ(WorkItemStore::Update(QStringLiteral("Job"),
                  [](TWorkItem& Stored) {
                      Stored.ExitCode = 7;
                      return true;
                  }),
        TStoreResult::Ok);
    TWorkItem Back;
    ASSERT_EQ(WorkItemStore::Load(QStringLiteral("Job"), Back), TStoreResult::Ok);
    EXPECT_EQ(Back.Parameters, QStringLiteral("-r"));
    EXPECT_EQ(Back.ExitCode, 7u);

    ASSERT_EQ(WorkItemStore::Remove(QStringLiteral("job.JOB")), TStoreResult::Ok);
    EXPECT_TRUE(WorkItemStore::List().isEmpty());
    // No temporary file is left behind.
    EXPECT_EQ(QDir(Folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral(".lock")});
}

TEST_F(WorkItemStoreTest, OptionalRunTimesAreWrittenOnlyWhenSetAndReadBack)
{
    const struct {
        const char* Key;
        TCalendarTime TWorkItem::*Field;
    } Cases[] = {{"SkippedRun", &TWorkItem::SkippedRun}, {"HandledRun", &TWorkItem::HandledRun}};
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Key);
        const QByteArray Key(Case.Key);
        TWorkItem Item = Sample();
        EXPECT_FALSE(WorkItemStore::Serialize(Item).contains(Key));
        Item.*Case.Field = {2024, 6, 3, 5, 21, 30, 0, 0};
        const QByteArray Text = WorkItemStore::Serialize(Item);
        EXPECT_TRUE(Text.contains("\n" + Key + "=2024 6 3 5 21 30 0 0\n"));
        TWorkItem Back;
        ASSERT_TRUE(WorkItemStore::Parse(Text, Back));
        EXPECT_EQ(Back, Item);
        EXPECT_FALSE(WorkItemStore::Parse(QByteArray(Text).replace(Key + "=2024 6", Key + "=2024 x"), Back));
        EXPECT_FALSE(WorkItemStore::Parse(QByteArray(Text).replace("End\n", Key + "=2024 6 3 5 21 30 0 0\nEnd\n"), Back));
    }
}

TEST_F(WorkItemStoreTest, UpdateOrRemoveKeepsWritesOrDeletesTheItemAsItIs)
{
    EXPECT_EQ(WorkItemStore::UpdateOrRemove(QStringLiteral("Gone"), [](TWorkItem&) { return TItemChange::Remove; }),
        TStoreResult::NotFound);
    const struct
    {
        TItemChange Change;
        bool Exists;
        uint32_t ExitCode;
    } Cases[] = {
        {TItemChange::Keep, true, 0},
        {TItemChange::Write, true, 9},
        {TItemChange::Remove, false, 0},
    };
    for (const auto& Case : Cases) {
        ASSERT_EQ(WorkItemStore::Create(QStringLiteral("Job"), Sample()), TStoreResult::Ok);
        uint32_t Seen = 1;
        EXPECT_EQ(WorkItemStore::UpdateOrRemove(QStringLiteral("JOB"),
                      [&](TWorkItem& Stored) {
                          Seen = Stored.ExitCode;
                          Stored.ExitCode = 9;
                          return Case.Change;
                      }),
            TStoreResult::Ok);
        EXPECT_EQ(Seen, 0u);
        TWorkItem Back;
        EXPECT_EQ(WorkItemStore::Load(QStringLiteral("Job"), Back), Case.Exists ? TStoreResult::Ok : TStoreResult::NotFound);
        EXPECT_EQ(Back.ExitCode, Case.ExitCode);
        (void)WorkItemStore::Remove(QStringLiteral("Job"));
    }
    EXPECT_EQ(QDir(Folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral(".lock")});
}

TEST_F(WorkItemStoreTest, FilesThatAreNotOursAreRefusedAndTheOthersStillList)
{
    ASSERT_EQ(WorkItemStore::Create(QStringLiteral("Good"), Sample()), TStoreResult::Ok);
    const QByteArray Good = WorkItemStore::Serialize(Sample());
    WriteRaw(QStringLiteral("Truncated.job"), Good.left(Good.size() - 5));
    WriteRaw(QStringLiteral("Foreign.job"), QByteArray("\x01\x00\x01\x00garbage", 12));
    WriteRaw(QStringLiteral("Writable.job"), Good, 0622);
    WriteRaw(QStringLiteral("Stranger.job"), Good);
    ASSERT_EQ(::chown(QFile::encodeName(Folder + QStringLiteral("/Stranger.job")).constData(), 65534, 65534), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(Folder + QStringLiteral("/Good.job")).constData(),
                  QFile::encodeName(Folder + QStringLiteral("/Link.job")).constData()),
        0);
    ASSERT_TRUE(QDir(Folder).mkdir(QStringLiteral("Folder.job")));

    const struct
    {
        const char* Name;
        TStoreResult Result;
    } Cases[] = {
        {"Good", TStoreResult::Ok},
        {"Truncated", TStoreResult::Damaged},
        {"Foreign", TStoreResult::Damaged},
        {"Writable", TStoreResult::AccessDenied},
        {"Stranger", TStoreResult::AccessDenied},
        {"Link", TStoreResult::AccessDenied},
        {"Folder", TStoreResult::AccessDenied},
    };
    for (const auto& Case : Cases) {
        TWorkItem Item;
        EXPECT_EQ(WorkItemStore::Load(QLatin1String(Case.Name), Item), Case.Result) << Case.Name;
    }
    EXPECT_EQ(WorkItemStore::List(),
        (QStringList{QStringLiteral("Foreign.job"), QStringLiteral("Good.job"), QStringLiteral("Truncated.job"),
            QStringLiteral("Writable.job")}));
    EXPECT_EQ(WorkItemStore::Remove(QStringLiteral("Link")), TStoreResult::AccessDenied);
    EXPECT_EQ(WorkItemStore::Remove(QStringLiteral("Stranger")), TStoreResult::AccessDenied);
    EXPECT_EQ(WorkItemStore::Create(QStringLiteral("Link"), Sample()), TStoreResult::Exists);
    EXPECT_TRUE(QFileInfo(Folder + QStringLiteral("/Link.job")).isSymLink());
}

TEST_F(WorkItemStoreTest, FixtureFilesLoadOrAreRefused)
{
    const QString Data = QStringLiteral(LUMIDOR_TEST_DATA "/scheduler/");
    const struct
    {
        const char* File;
        TStoreResult Result;
    } Cases[] = {
        {"valid.job", TStoreResult::Ok},
        {"truncated.job", TStoreResult::Damaged},
        {"binary-header.job", TStoreResult::Damaged},
        {"huge-number.job", TStoreResult::Damaged},
    };
    for (const auto& Case : Cases) {
        QFile Source(Data + QLatin1String(Case.File));
        ASSERT_TRUE(Source.open(QIODevice::ReadOnly)) << Case.File;
        WriteRaw(QLatin1String(Case.File), Source.readAll());
        TWorkItem Item;
        EXPECT_EQ(WorkItemStore::Load(QLatin1String(Case.File), Item), Case.Result) << Case.File;
    }
}

TEST_F(WorkItemStoreTest, AFolderOfAnotherUserIsNotUsed)
{
    ASSERT_TRUE(QDir().mkpath(Folder));
    ASSERT_EQ(::chown(QFile::encodeName(Folder).constData(), 65534, 65534), 0);
    EXPECT_FALSE(WorkItemStore::EnsureFolder());
    EXPECT_EQ(WorkItemStore::Create(QStringLiteral("Job"), Sample()), TStoreResult::AccessDenied);
}

TEST_F(WorkItemStoreTest, DefaultFolderFollowsTheEnvironment)
{
    WorkItemStore::SetFolderForTesting({});
    const QByteArray SavedStore = qgetenv("LUMIDOR_TASK_STORE");
    const QByteArray SavedData = qgetenv("XDG_DATA_HOME");
    qunsetenv("LUMIDOR_TASK_STORE");
    qputenv("XDG_DATA_HOME", QFile::encodeName(Root.path()));
    EXPECT_EQ(WorkItemStore::Folder(), Root.path() + QStringLiteral("/lumidor/tasks"));
    qputenv("LUMIDOR_TASK_STORE", "/somewhere/else");
    EXPECT_EQ(WorkItemStore::Folder(), QStringLiteral("/somewhere/else"));
    SavedStore.isNull() ? qunsetenv("LUMIDOR_TASK_STORE") : qputenv("LUMIDOR_TASK_STORE", SavedStore);
    SavedData.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", SavedData);
}

} // namespace

// The store's writers work under its lock, so whoever holds it may remove
// any temporary file at once; only regular files of that exact name go.
TEST_F(WorkItemStoreTest, StaleTemporariesAreRemovedUnderTheLockAndNothingElse)
{
    WriteRaw(QStringLiteral(".tmp-Ab12Z9"), "LumidorWorkItem 1\nApplica");
    WriteRaw(QStringLiteral(".tmp-zz99ZZ"), "");
    WriteRaw(QStringLiteral(".tmp-short"), "");
    WriteRaw(QStringLiteral("tmp-Ab12Z9"), "");
    WriteRaw(QStringLiteral("kept.job"), WorkItemStore::Serialize(Sample()));
    ASSERT_TRUE(QFile::link(Folder + QStringLiteral("/kept.job"), Folder + QStringLiteral("/.tmp-Link01")));

    EXPECT_EQ(WorkItemStore::RemoveStaleTemporaries(), 2);
    EXPECT_EQ(QDir(Folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
        (QStringList{".lock", ".tmp-Link01", ".tmp-short", "kept.job", "tmp-Ab12Z9"}));
    TWorkItem Item;
    EXPECT_EQ(WorkItemStore::Load(QStringLiteral("kept"), Item), TStoreResult::Ok);
}

