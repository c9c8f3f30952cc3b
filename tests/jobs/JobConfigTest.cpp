#include "jobs/uJobConfig.h"
#include "support/TestFiles.h"

#include "jobs/SectionRenumbering.h"
#include "platform/AsciiText.h"
#include "platform/Exceptions.h"
#include "platform/ProfileStrings.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <iostream>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString Shutdown = QStringLiteral("Schedule_Shutdown");
const QString Restart = QStringLiteral("Schedule_Restart");

class JobConfigTest : public ::testing::Test
{
protected:
    QString Path() const { return Dir.filePath(QStringLiteral("Zelvo/Corvane V8/Lumidor/Lumidor.ini")); }

    void Put(const QByteArray& Bytes) { ASSERT_TRUE(TestFiles::Write(Path(), Bytes)); }
    QByteArray Bytes() const { return TestFiles::Read(Path()); }

    QTemporaryDir Dir;
};

QStringList ShutdownJobs(TJobConfig& Config)
{
    QStringList Out;
    for (int I = 0; I < Config.ShutdownJobCount(); ++I)
        Out += Config.GetShutdownJob(I);
    return Out;
}

TEST_F(JobConfigTest, ConstructorCreatesTheFoldersButNotTheFile)
{
    TJobConfig Config(Path());
    EXPECT_TRUE(QFileInfo(QFileInfo(Path()).path()).isDir());
    EXPECT_FALSE(QFile::exists(Path()));
    EXPECT_EQ(Config.ShutdownJobCount(), 0);
    EXPECT_EQ(Config.RestartJobCount(), 0);
    EXPECT_EQ(Config.GetShutdownJob(0), QString());
    EXPECT_EQ(Config.FileName(), Path());
}

TEST_F(JobConfigTest, AddJobAppendsNumberedEntries)
{
    TJobConfig Config(Path());
    Config.AddJob(QStringLiteral("Zelvo_Lumidor20250102030405"), QString(), true);
    EXPECT_EQ(Bytes(), QByteArray("[Schedule_Shutdown]\r\nJob1=Zelvo_Lumidor20250102030405\r\n"));
    Config.AddJob(QStringLiteral("Zelvo_Lumidor20250102030406"),
                  QStringLiteral("Shutdown computer at: 1/2/2025, 3:04 PM, again"), true);
    EXPECT_EQ(Bytes(), QByteArray("[Schedule_Shutdown]\r\nJob1=Zelvo_Lumidor20250102030405\r\n"
                                  "Job2=Zelvo_Lumidor20250102030406,Shutdown computer at: 1/2/2025, 3:04 PM, again\r\n"));
    EXPECT_EQ(Config.ShutdownJobCount(), 2);
    EXPECT_EQ(Config.GetShutdownJob(1),
              QStringLiteral("Zelvo_Lumidor20250102030406,Shutdown computer at: 1/2/2025, 3:04 PM, again"));
    EXPECT_EQ(Config.GetShutdownJob(2), QString());
    EXPECT_EQ(Config.GetShutdownJob(99), QString());
    EXPECT_EQ(Config.GetShutdownJob(-1), QString());
    EXPECT_EQ(Config.RestartJobCount(), 0);
    Config.AddJob(QString(), QString(), false);
    EXPECT_EQ(Config.RestartJobCount(), 1);
    EXPECT_EQ(Config.GetRestartJob(0), QString());
    EXPECT_TRUE(Bytes().endsWith("[Schedule_Restart]\r\nJob1=\r\n"));
}

TEST(JobConfigEntry, SplitsAtTheFirstCommaAndJoinsBackTheSameValue)
{
    const struct
    {
        const char* Value;
        bool Job;
        const char* TaskName;
        const char* Label;
    } Cases[] = {
        {"Zelvo_Lumidor20250102030405,Shutdown computer at: 1/2/2025 3:04 PM", true, "Zelvo_Lumidor20250102030405",
         "Shutdown computer at: 1/2/2025 3:04 PM"},
        {"T,at 1/2/2025, 3:04 PM, again", true, "T", "at 1/2/2025, 3:04 PM, again"},
        {"T,", true, "T", ""},
        {",L", true, "", "L"},
        {",", true, "", ""},
        {" T , L ", true, " T ", " L "},
        {"T=x,L=y", true, "T=x", "L=y"},
        {"Zelvo_Lumidor20250102030405", false, "", ""},
        {"", false, "", ""},
    };
    for (const auto& Case : Cases) {
        const QString Value = QString::fromUtf8(Case.Value);
        QString TaskName;
        QString Label;
        ASSERT_EQ(TJobConfig::SplitEntry(Value, TaskName, Label), Case.Job) << Case.Value;
        if (!Case.Job)
            continue;
        EXPECT_EQ(TaskName, QString::fromUtf8(Case.TaskName)) << Case.Value;
        EXPECT_EQ(Label, QString::fromUtf8(Case.Label)) << Case.Value;
        EXPECT_EQ(TJobConfig::JoinEntry(TaskName, Label), Value) << Case.Value;
    }
}

TEST_F(JobConfigTest, AddedJobSplitsIntoItsNameAndLabel)
{
    TJobConfig Config(Path());
    Config.AddJob(QStringLiteral("T1"), QStringLiteral("Restart computer at: 7:00 AM, Everyday"), false);
    Config.AddJob(QStringLiteral("T2"), QString(), false);
    QString TaskName;
    QString Label;
    ASSERT_TRUE(TJobConfig::SplitEntry(Config.GetRestartJob(0), TaskName, Label));
    EXPECT_EQ(TaskName, QStringLiteral("T1"));
    EXPECT_EQ(Label, QStringLiteral("Restart computer at: 7:00 AM, Everyday"));
    // Without a label there is nothing to list.
    EXPECT_FALSE(TJobConfig::SplitEntry(Config.GetRestartJob(1), TaskName, Label));
}

namespace {

// A removal from the shutdown section: the file before, the value removed,
// the jobs listed (after the removal, or before it where the test says so)
// and the file after.
struct TRemoveCase
{
    const char* Name;
    QByteArray Before;
    const char* Value;
    QStringList Jobs;
    QByteArray After;
};

} // namespace

TEST_F(JobConfigTest, RemoveDropsEveryEqualValueAndRenumbers)
{
    const TRemoveCase Cases[] = {
        {"all equal values, A-Z case ignored", "[Schedule_Shutdown]\r\nJob1=A\r\nJob2=B\r\nJob3=A\r\nJob4=C\r\n", "a",
         {"B", "C"}, "[Schedule_Shutdown]\r\nJob1=B\r\nJob2=C\r\n"},
        {"no match keeps values and keys, section moves to the end",
         "[Schedule_Shutdown]\r\nJob1=x\r\nJob2=y\r\n[Other]\r\nk=v\r\n", "z", {"x", "y"},
         "[Other]\r\nk=v\r\n[Schedule_Shutdown]\r\nJob1=x\r\nJob2=y\r\n"},
        {"only entry takes the header along", "[Schedule_Shutdown]\r\nJob1=T,L\r\n[Other]\r\nk=v\r\n", "t,l", {},
         "[Other]\r\nk=v\r\n"},
        {"no trimming, no other case folding",
         QByteArray("[Schedule_Shutdown]\r\nJob1=\xC3\xA4x\r\nJob2=A \r\nJob3=\xC3\x84X\r\n"),
         "\xC3\x84x", {QString::fromUtf8("\xC3\xA4x"), "A"},
         QByteArray("[Schedule_Shutdown]\r\nJob1=\xC3\xA4x\r\nJob2=A\r\nJob3=\xC3\x84X\r\n").replace("Job3=\xC3\x84X\r\n", "")},
        {"missing section stays missing", "[Other]\r\nk=v\r\n", "a", {}, "[Other]\r\nk=v\r\n"},
    };
    for (const TRemoveCase& Case : Cases) {
        Put(Case.Before);
        TJobConfig Config(Path());
        Config.RemoveShutdownJob(QString::fromUtf8(Case.Value));
        EXPECT_EQ(ShutdownJobs(Config), Case.Jobs) << Case.Name;
        EXPECT_EQ(Bytes(), Case.After) << Case.Name;
    }
}

// A section edited by hand or written by another tool: every line that a
// removal does not remove stays, with its own value and the bytes of that value.
TEST_F(JobConfigTest, RemoveKeepsEveryOtherLineWithItsOwnValueAndBytes)
{
    const QByteArray Repeated = "[Schedule_Shutdown]\r\nJob1=A,a\r\nJob1=B,b\r\nJob2=C,c\r\n";
    const QByteArray Cp1252 = "[Schedule_Shutdown]\r\nJob1=N,Arr\xEAt\r\nJob2=T,x\r\n";
    const QString Arret = QString::fromUtf8("N,Arr\xC3\xAAt");
    const TRemoveCase Cases[] = {
        {"repeated key, last line removed", Repeated, "c,C", {"A,a", "B,b", "C,c"},
         "[Schedule_Shutdown]\r\nJob1=A,a\r\nJob2=B,b\r\n"},
        {"repeated key, first line removed", Repeated, "A,A", {"A,a", "B,b", "C,c"},
         "[Schedule_Shutdown]\r\nJob1=B,b\r\nJob2=C,c\r\n"},
        {"repeated key, its second line removed", Repeated, "b,b", {"A,a", "B,b", "C,c"},
         "[Schedule_Shutdown]\r\nJob1=A,a\r\nJob2=C,c\r\n"},
        {"repeated key, nothing removed", Repeated, "D,d", {"A,a", "B,b", "C,c"},
         "[Schedule_Shutdown]\r\nJob1=A,a\r\nJob2=B,b\r\nJob3=C,c\r\n"},
        {"Windows-1252 line kept byte for byte", Cp1252, "t,X", {Arret, "T,x"},
         "[Schedule_Shutdown]\r\nJob1=N,Arr\xEAt\r\n"},
        {"Windows-1252 line removed by the text it reads as", Cp1252, "n,Arr\xC3\xAAt", {Arret, "T,x"},
         "[Schedule_Shutdown]\r\nJob1=T,x\r\n"},
        {"UTF-8 line kept as it is", "[Schedule_Shutdown]\r\nJob1=T,x\r\nJob2=N,Arr\xC3\xAAt\r\n", "t,x",
         {"T,x", Arret}, "[Schedule_Shutdown]\r\nJob1=N,Arr\xC3\xAAt\r\n"},
        {"Windows-1252 value loses its quotes, keeps its bytes",
         "[Schedule_Shutdown]\r\nJob1= \"N,\x80 5\" \r\nJob2=T,x\r\n", "T,x",
         {QString::fromUtf8("N,\xE2\x82\xAC 5"), "T,x"}, "[Schedule_Shutdown]\r\nJob1=N,\x80 5\r\n"},
    };
    for (const TRemoveCase& Case : Cases) {
        Put(Case.Before);
        TJobConfig Config(Path());
        EXPECT_EQ(ShutdownJobs(Config), Case.Jobs) << Case.Name;
        Config.RemoveShutdownJob(QString::fromUtf8(Case.Value));
        EXPECT_EQ(Bytes(), Case.After) << Case.Name;
    }
}

TEST_F(JobConfigTest, SectionRemovedByItsLastEntryComesBackAtTheEnd)
{
    Put("[Schedule_Shutdown]\r\nJob1=old\r\n[Schedule_Restart]\r\nJob1=r\r\n");
    TJobConfig Config(Path());
    Config.RemoveShutdownJob(QStringLiteral("OLD"));
    Config.AddJob(QStringLiteral("new"), QString(), true);
    EXPECT_EQ(Bytes(), QByteArray("[Schedule_Restart]\r\nJob1=r\r\n[Schedule_Shutdown]\r\nJob1=new\r\n"));
}

TEST_F(JobConfigTest, ClearDeletesOnlyItsSection)
{
    Put("; mine\r\n[Schedule_Restart]\r\nJob1=r\r\n[Schedule_Shutdown]\r\nJob1=s\r\n");
    TJobConfig Config(Path());
    Config.ClearRestartJobs();
    EXPECT_EQ(Bytes(), QByteArray("; mine\r\n[Schedule_Shutdown]\r\nJob1=s\r\n"));
    Config.ClearRestartJobs();
    Config.ClearShutdownJobs();
    EXPECT_EQ(Bytes(), QByteArray("; mine\r\n"));
}

TEST_F(JobConfigTest, SequenceOfAddsAndRemovesGivesThisExactFile)
{
    Put("; Lumidor jobs\r\n[Schedule_Restart]\r\nJob1=R1,Restart computer at: x\r\n\r\n[Other]\r\nkey = value\r\n");
    {
        TJobConfig Config(Path());
        Config.AddJob(QStringLiteral("S1"), QString(), true);
        Config.AddJob(QStringLiteral("S2"), QStringLiteral("Shutdown computer at: 1/2/2025 3:04 PM"), true);
        Config.AddJob(QStringLiteral("R2"), QString(), false);
        EXPECT_EQ(Bytes(), QByteArray("; Lumidor jobs\r\n[Schedule_Restart]\r\nJob1=R1,Restart computer at: x\r\n"
                                      "Job2=R2\r\n\r\n[Other]\r\nkey = value\r\n[Schedule_Shutdown]\r\nJob1=S1\r\n"
                                      "Job2=S2,Shutdown computer at: 1/2/2025 3:04 PM\r\n"));
        Config.RemoveShutdownJob(QStringLiteral("s1"));
        Config.RemoveRestartJob(QStringLiteral("nothing"));
        Config.AddJob(QStringLiteral("S3"), QStringLiteral("L"), true);
    }
    EXPECT_EQ(Bytes(), QByteArray("; Lumidor jobs\r\n[Other]\r\nkey = value\r\n"
                                  "[Schedule_Shutdown]\r\nJob1=S2,Shutdown computer at: 1/2/2025 3:04 PM\r\n"
                                  "Job2=S3,L\r\n"
                                  "[Schedule_Restart]\r\nJob1=R1,Restart computer at: x\r\nJob2=R2\r\n"));
}

TEST_F(JobConfigTest, AddJobNeverOverwritesAnEntryOfAHandEditedSection)
{
    Put("[schedule_shutdown]\r\njob3=C\r\nJob1=A\r\n");
    TJobConfig Config(Path());
    Config.AddJob(QStringLiteral("D"), QString(), true);
    EXPECT_EQ(Bytes(), QByteArray("[schedule_shutdown]\r\njob3=C\r\nJob1=A\r\nJob4=D\r\n"));
    EXPECT_EQ(ShutdownJobs(Config), QStringList({"C", "A", "D"}));
}

TEST_F(JobConfigTest, ValuesReadBackAsTheProfileServiceReturnsThem)
{
    Put("[Schedule_Shutdown]\r\nJob1 =  'quoted'  \r\nnot a key\r\n; Job9=comment\r\nJob2=a=b,c\r\n");
    TJobConfig Config(Path());
    EXPECT_EQ(Config.ShutdownJobCount(), 2);
    EXPECT_EQ(ShutdownJobs(Config), QStringList({"quoted", "a=b,c"}));
}

TEST_F(JobConfigTest, LabelsInAnyScriptAreStoredUnchanged)
{
    const QString Label = QString::fromUtf8("\xE5\x85\xB3\xE6\x9C\xBA \xD8\xA5\xD9\x8A\xD9\x82\xD8\xA7\xD9\x81 \xF0\x9F\x8C\x99");
    TJobConfig Config(Path());
    Config.AddJob(QStringLiteral("T"), Label, false);
    EXPECT_EQ(Config.GetRestartJob(0), QStringLiteral("T,") + Label);
    EXPECT_EQ(Bytes(), "[Schedule_Restart]\r\nJob1=T," + Label.toUtf8() + "\r\n");
}

// Makes every write below Folder fail while it lives, and says how.
using TWriteBlocker = std::function<std::function<void()>(const QString& Folder)>;

QStringList TemporaryFiles(const QString& Folder)
{
    return QDir(Folder).entryList(QStringList{QStringLiteral("*.tmp-*")}, QDir::Files | QDir::Hidden);
}

TEST_F(JobConfigTest, RefusedWriteRaisesAndKeepsTheOldFile)
{
    struct TCase
    {
        const char* Name;
        TWriteBlocker Block;
    };
    const TCase Cases[] = {
        {"read-only folder",
         [](const QString& Folder) -> std::function<void()> {
             // Root writes through permission bits; the full-disk case covers it.
             if (::geteuid() == 0)
                 return nullptr;
             ::chmod(QFile::encodeName(Folder).constData(), 0555);
             return [Folder] { ::chmod(QFile::encodeName(Folder).constData(), 0755); };
         }},
        {"full disk (file size limit)",
         [](const QString&) -> std::function<void()> {
             rlimit Old;
             ::getrlimit(RLIMIT_FSIZE, &Old);
             rlimit Small = Old;
             Small.rlim_cur = 16;
             auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
             ::setrlimit(RLIMIT_FSIZE, &Small);
             return [Old, OldHandler] {
                 ::setrlimit(RLIMIT_FSIZE, &Old);
                 std::signal(SIGXFSZ, OldHandler);
             };
         }},
    };
    const QString Folder = QFileInfo(Path()).path();
    for (const TCase& Case : Cases) {
        QFile::remove(Path());
        TJobConfig Config(Path());
        Config.AddJob(QStringLiteral("T0"), QString(), true);
        Config.AddJob(QStringLiteral("T1"), QStringLiteral("Label"), true);
        const QByteArray Old = Bytes();
        const std::function<void()> Unblock = Case.Block(Folder);
        if (!Unblock) {
            std::cout << "[ SKIPPED  ] " << Case.Name << ": running as root\n";
            continue;
        }
        const QString Expected = QStringLiteral("Unable to write to ") + Path();
        const std::function<void()> Writes[] = {
            [&] { Config.AddJob(QStringLiteral("T2"), QStringLiteral("a longer label than before"), true); },
            [&] { Config.RemoveShutdownJob(QStringLiteral("t1,label")); },
            [&] { Config.AddJob(QStringLiteral("T2"), QStringLiteral("restart"), false); },
        };
        for (const auto& Write : Writes) {
            try {
                Write();
                ADD_FAILURE() << Case.Name << ": no error";
            } catch (const EIniFileException& E) {
                EXPECT_EQ(E.Message(), Expected) << Case.Name;
            }
        }
        Unblock();
        EXPECT_EQ(Bytes(), Old) << Case.Name;
        EXPECT_TRUE(TemporaryFiles(Folder).isEmpty()) << Case.Name;
    }
}

TEST_F(JobConfigTest, FolderReplacedByAFileRaises)
{
    TJobConfig Config(Path());
    const QString Folder = QFileInfo(Path()).path();
    ASSERT_TRUE(QDir(Folder).removeRecursively());
    QFile Blocker(Folder);
    ASSERT_TRUE(Blocker.open(QIODevice::WriteOnly));
    Blocker.write("not a folder");
    Blocker.close();
    try {
        Config.AddJob(QStringLiteral("T"), QString(), true);
        ADD_FAILURE() << "no error";
    } catch (const EIniFileException& E) {
        EXPECT_EQ(E.Message(), QStringLiteral("Unable to write to ") + Path());
        EXPECT_STREQ(E.what(), (QStringLiteral("Unable to write to ") + Path()).toUtf8().constData());
    }
    ASSERT_TRUE(Blocker.open(QIODevice::ReadOnly));
    EXPECT_EQ(Blocker.readAll(), QByteArray("not a folder"));
}

// The child's endless list of operations: three adds, then the removal of
// the first of them, spelled in lower case.
void ApplyOperation(TJobConfig& Config, int I)
{
    if (I % 4 == 3)
        Config.RemoveShutdownJob(QStringLiteral("t%1").arg(I - 3));
    else
        Config.AddJob(QStringLiteral("T%1").arg(I), I % 2 ? QStringLiteral("label, %1").arg(I) : QString(), true);
}

void ApplyToModel(QStringList& Values, int I)
{
    if (I % 4 == 3)
        Values.removeAll(QStringLiteral("T%1").arg(I - 3));
    else
        Values += I % 2 ? QStringLiteral("T%1,label, %1").arg(I) : QStringLiteral("T%1").arg(I);
}

TEST_F(JobConfigTest, KilledWriterLeavesTheStateBeforeOrAfterItsLastOperation)
{
    const QByteArray Other = "; keep me\r\n[Other]\r\nk=v\r\n";
    Put(Other);
    QStringList Model; // the values after Done operations
    int Done = 0;
    int Interrupted = 0;
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    for (int Round = 0; Round < 60 && std::chrono::steady_clock::now() < Deadline; ++Round) {
        int Pipe[2];
        ASSERT_EQ(::pipe(Pipe), 0);
        const pid_t Child = ::fork();
        ASSERT_GE(Child, 0);
        if (Child == 0) {
            ::close(Pipe[0]);
            try {
                TJobConfig Config(Path());
                for (int I = Done; I < Done + 100000; ++I) {
                    if (::write(Pipe[1], &I, sizeof I) != sizeof I)
                        ::_exit(3);
                    ApplyOperation(Config, I);
                }
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(0);
        }
        ::close(Pipe[1]);
        ::usleep(QRandomGenerator::global()->bounded(0, 40000));
        ::kill(Child, SIGKILL);
        int Status = 0;
        ::waitpid(Child, &Status, 0);
        ASSERT_TRUE(WIFSIGNALED(Status)) << "child ended by itself with " << WEXITSTATUS(Status);

        int Started = Done, Next = 0;
        bool Any = false;
        while (::read(Pipe[0], &Next, sizeof Next) == sizeof Next) {
            Started = Next;
            Any = true;
        }
        ::close(Pipe[0]);
        for (int I = Done; I < Started; ++I)
            ApplyToModel(Model, I);
        QStringList After = Model;
        ApplyToModel(After, Started);

        TJobConfig Reader(Path());
        const QStringList Actual = ShutdownJobs(Reader);
        QStringList Keys = ProfileStrings::GetKeys(Path(), Shutdown);
        for (int K = 0; K < Keys.size(); ++K)
            ASSERT_EQ(Keys[K], QStringLiteral("Job%1").arg(K + 1)) << "round " << Round;
        ASSERT_TRUE(Bytes().startsWith(Other)) << "round " << Round;
        if (Actual == Model) {
            Done = Started;
            Interrupted += Any;
        } else {
            ASSERT_TRUE(Any && Actual == After) << "round " << Round << ", operation " << Started << ": "
                                                << Actual.join(QLatin1Char('|')).toStdString();
            Done = Started + 1;
            Model = After;
        }
    }
    EXPECT_GT(Done, 0);
    std::cout << "operations completed: " << Done << ", kills inside an operation: " << Interrupted << "\n";
}

// Lines the section renumbering keeps hold their bytes, ANSI or not; a key
// that would break a line is refused before anything is written.
TEST_F(JobConfigTest, RemoveLinesKeepsTheBytesAndRefusesKeysWithLineBreaks)
{
    const auto DropTwo = [](const QString& V) { return V == QStringLiteral("2"); };
    const auto JobKey = [](qsizetype N) { return QStringLiteral("Job%1").arg(N); };
    Put("[a]\r\nk=1\r\nk= '\xEA' \r\n;c\r\nz=2\r\n[b]\r\n");
    EXPECT_TRUE(SectionRenumbering::RemoveLines(Path(), QStringLiteral("A"), DropTwo, JobKey));
    EXPECT_EQ(Bytes(), QByteArray("[b]\r\n[A]\r\nJob1=1\r\nJob2=\xEA\r\n"));
    EXPECT_TRUE(SectionRenumbering::RemoveLines(Path(), QStringLiteral("missing"), DropTwo, JobKey));
    EXPECT_EQ(Bytes(), QByteArray("[b]\r\n[A]\r\nJob1=1\r\nJob2=\xEA\r\n"));
    EXPECT_FALSE(SectionRenumbering::RemoveLines(Path(), QStringLiteral("a"), [](const QString&) { return false; },
                                                 [](qsizetype) { return QStringLiteral("x\n[evil]"); }));
    EXPECT_EQ(Bytes(), QByteArray("[b]\r\n[A]\r\nJob1=1\r\nJob2=\xEA\r\n"));
}

struct TRemoveValueCase
{
    const char* Name;
    QByteArray Before;
    const char* Section;
    const char* Value;
    const char* After; // nullptr: only compared with RemoveLines
};

// RemoveValue writes its file without the general machinery; whatever the
// file holds, the result must be the bytes RemoveLines gives with the same
// test and keys.
TEST_F(JobConfigTest, RemoveValueWritesWhatRemoveLinesWrites)
{
    const QByteArray Long(3000, 'x');
    const QByteArray LongUtf8 = QByteArray(2046, 'y') + "\xC3\xA9\xC3\xA9";
    const QByteArray AsCut(2047, 'X');
    const TRemoveValueCase Cases[] = {
        {"drops by A to Z case, renumbers, moves to the end", "[a]\r\nJob1=One\r\nJob2=two\r\nJob3=three\r\n[b]\r\nx=1\r\n",
         "A", "TWO", "[b]\r\nx=1\r\n[A]\r\nJob1=One\r\nJob2=three\r\n"},
        {"every equal value goes", "[a]\r\nJob1=v\r\nJob2=V\r\nJob3=w\r\n", "a", "v", "[a]\r\nJob1=w\r\n"},
        {"the last value takes the section with it", "[a]\r\nJob1=v\r\n[b]\r\n", "a", "v", "[b]\r\n"},
        {"nothing dropped at the end writes the same", "[b]\r\n[a]\r\nJob1=v\r\n", "a", "w", "[b]\r\n[a]\r\nJob1=v\r\n"},
        {"keys renamed, quotes and leading blanks dropped", "[a]\r\n k = \" x\" \r\nz='q'\r\n", "a", "none",
         "[a]\r\nJob1=x\r\nJob2=q\r\n"},
        {"comments, blanks and lines without = go", "[a]\r\n;c\r\n\r\nbare\r\nk=1\r\n\r\n[b]\r\n", "a", "2",
         "[b]\r\n[a]\r\nJob1=1\r\n"},
        {"line ends of the file, last line ended", "[a]\nk=1\n[b]\nx=1", "a", "2", "[b]\nx=1\n[a]\nJob1=1\n"},
        {"lone CR line ends", "[a]\rk=1\r[b]\r", "a", "2", "[b]\r[a]\rJob1=1\r"},
        {"a file of the section alone gets CR LF", "[a]\nk=1", "a", "2", "[a]\r\nJob1=1\r\n"},
        {"byte-order mark kept", "\xEF\xBB\xBF[a]\r\nk=1\r\n[b]\r\n", "a", "2", "\xEF\xBB\xBF[b]\r\n[a]\r\nJob1=1\r\n"},
        {"ANSI bytes kept", "[a]\r\nk=\xEA\r\nk=caf\xE9\r\n", "a", "caf\xC3\xA9", "[a]\r\nJob1=\xEA\r\n"},
        {"UTF-8 value dropped, case of other letters kept", "[a]\r\nk=\xC3\xA9t\xC3\xA9\r\nk=\xC3\x89T\xC3\x89\r\n", "a",
         "\xC3\xA9T\xC3\xA9", "[a]\r\nJob1=\xC3\x89T\xC3\x89\r\n"},
        {"an ASCII value never equals another script", "[a]\r\nk=\xE2\x84\xAA\r\n", "a", "k", "[a]\r\nJob1=\xE2\x84\xAA\r\n"},
        {"nameless section", "k=1\r\n[a]\r\n", "", "1", nullptr},
        {"missing section", "[b]\r\nk=1\r\n", "a", "1", "[b]\r\nk=1\r\n"},
        {"missing file", QByteArray(), "a", "1", ""},
        {"second section of the name", "[a]\r\nk=1\r\nk=2\r\n[A]\r\nJob1=old\r\n", "a", "1", nullptr},
        {"long value cut to the buffer", "[a]\r\nk=" + Long + "\r\nk=1\r\n", "a", "1", nullptr},
        {"long UTF-8 value cut to the buffer", "[a]\r\nk=" + LongUtf8 + "\r\nk=1\r\n", "a", "1", nullptr},
        {"long value dropped by its first 2047 characters", "[a]\r\nk=" + Long + "\r\nk=1\r\n", "a",
         AsCut.constData(), "[a]\r\nJob1=1\r\n"},
    };
    for (const TRemoveValueCase& Case : Cases) {
        const QString Section = QString::fromUtf8(Case.Section);
        const QString Value = QString::fromUtf8(Case.Value);
        const auto Prepare = [&] {
            QFile::remove(Path());
            if (!Case.Before.isNull())
                Put(Case.Before);
        };
        Prepare();
        const bool Expected = SectionRenumbering::RemoveLines(
            Path(), Section, [&](const QString& V) { return AsciiText::SameText(V, Value); },
            [](qsizetype N) { return QStringLiteral("Job%1").arg(N); });
        const QByteArray ExpectedBytes = Bytes();
        Prepare();
        EXPECT_EQ(SectionRenumbering::RemoveValue(Path(), Section, Value, QStringLiteral("Job")), Expected) << Case.Name;
        EXPECT_EQ(Bytes(), ExpectedBytes) << Case.Name;
        if (Case.After) {
            EXPECT_EQ(Bytes(), QByteArray(Case.After)) << Case.Name;
        }
    }
}

} // namespace
