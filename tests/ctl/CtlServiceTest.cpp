#include "support/TaskServiceFixture.h"

#include <QDBusMessage>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "jobs/uJobConfig.h"
#include "platform/FileLock.h"
#include "platform/TaskServiceLauncher.h"
#include "support/PrivateBuses.h"

// The built lumidorctl as a user runs it, with the real task service and no
// window. Both programs are copied into a tree of the test's own, so that the
// shutdown tool they find beside them is the recording stand-in.

namespace {

const QString CtlProgram = QStringLiteral(LUMIDOR_BUILD_DIR "/bin/lumidorctl");

class CtlServiceTest : public ServiceTesting::TTaskServiceFixture
{
protected:
    void SetUp() override
    {
        TTaskServiceFixture::SetUp();
        ASSERT_TRUE(QFileInfo::exists(CtlProgram)) << "build lumidorctl first";
        ASSERT_TRUE(QDir().mkpath(Home.filePath("tree/bin")));
        ASSERT_TRUE(QDir().mkpath(Home.filePath("tree/libexec/lumidor")));
        ASSERT_TRUE(QFile::copy(CtlProgram, Home.filePath("tree/bin/lumidorctl")));
        StandIn = WriteStandIn("tree/libexec/lumidor/Shutdown.exe", 0);
    }

    // The environment of a user's shell on the test's home. A value of
    // Changes replaces the fixture's; a null one removes the variable.
    QProcessEnvironment CtlEnvironment(const QMap<QString, QString>& Changes = {}) const
    {
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("HOME", Home.path());
        Env.insert("XDG_CONFIG_HOME", Home.filePath("config"));
        Env.insert("XDG_DATA_HOME", Home.filePath("share"));
        Env.insert("XDG_STATE_HOME", Home.filePath("state"));
        Env.insert("LUMIDOR_TASK_STORE", Store);
        Env.insert("LC_ALL", "C");
        const QString NoBus = "unix:path=" + Home.filePath("no-bus");
        Env.insert("DBUS_SESSION_BUS_ADDRESS", NoBus);
        Env.insert("DBUS_SYSTEM_BUS_ADDRESS", NoBus);
        for (auto It = Changes.cbegin(); It != Changes.cend(); ++It) {
            if (It.value().isNull())
                Env.remove(It.key());
            else
                Env.insert(It.key(), It.value());
        }
        return Env;
    }
    QProcess* StartCtl(const QStringList& Args, const QMap<QString, QString>& Changes = {})
    {
        auto* Ctl = new QProcess;
        Started.emplace_back(Ctl);
        Ctl->setProgram(CtlPath());
        Ctl->setArguments(Args);
        Ctl->setProcessEnvironment(CtlEnvironment(Changes));
        Ctl->start();
        return Ctl;
    }
    int RunCtl(const QStringList& Args, QString* Out = nullptr, const QMap<QString, QString>& Changes = {},
        QString* Err = nullptr)
    {
        QProcess* Ctl = StartCtl(Args, Changes);
        EXPECT_TRUE(Ctl->waitForFinished(60000));
        if (Out)
            *Out = QString::fromUtf8(Ctl->readAllStandardOutput());
        if (Err)
            *Err = QString::fromUtf8(Ctl->readAllStandardError());
        return Ctl->exitCode();
    }
    QString CtlPath() const { return Home.filePath("tree/bin/lumidorctl"); }
    // lumidorctl then finds the real service beside it, as when installed.
    void ServiceBesideCtl()
    {
        ASSERT_TRUE(QFile::link(ServiceTesting::ServiceProgram, Home.filePath("tree/bin/lumidor-taskd")));
    }
    // The task services that carry the test's store on their command line.
    QList<pid_t> Services() const
    {
        QList<pid_t> Pids;
        for (const pid_t Pid : ProcessesCarrying(Store)) {
            QFile Cmd(QStringLiteral("/proc/%1/cmdline").arg(Pid));
            if (Cmd.open(QIODevice::ReadOnly) && Cmd.readAll().contains("lumidor-taskd"))
                Pids += Pid;
        }
        return Pids;
    }

    std::vector<std::unique_ptr<QProcess>> Started;
};

} // namespace

TEST_F(CtlServiceTest, AJobAddedFromTheTerminalRunsAtItsMinuteWithNoWindow)
{
    StartService();
    ServiceTesting::AvoidMinuteEnd(10);
    QString Made;
    ASSERT_EQ(RunCtl({"add", "shutdown", "+1"}, &Made), 0);
    const QString Name = Made.trimmed().section(QStringLiteral(", job "), -1);
    TWorkItem Item;
    ASSERT_EQ(WorkItemStore::Load(Name, Item), TStoreResult::Ok);
    const QTime Minute(Item.Triggers.at(0).wStartHour, Item.Triggers.at(0).wStartMinute);

    ASSERT_TRUE(ServiceTesting::WaitUntil([&] { return !Runs().isEmpty(); }, 150000)) << LogText().toStdString();
    const QStringList Fields = Runs().at(0).split(u' ');
    EXPECT_EQ(Fields.mid(1), QStringList{"-s"});
    const QDateTime Ran = QDateTime::fromMSecsSinceEpoch(qint64(Fields.at(0).toDouble() * 1000));
    EXPECT_EQ(Ran.time().hour(), Minute.hour());
    EXPECT_EQ(Ran.time().minute(), Minute.minute());

    // The one-time item is gone once run, and so is the job from the list.
    ASSERT_TRUE(ServiceTesting::WaitUntil([&] { return WorkItemStore::List().isEmpty(); }, 20000));
    QString Listed;
    EXPECT_EQ(RunCtl({"list"}, &Listed), 0);
    EXPECT_TRUE(Listed.isEmpty()) << Listed.toStdString();
}

// Both wait for the one adding, so the second finds the first's label.
TEST_F(CtlServiceTest, TwoAddsAtOnceMakeOneJob)
{
    StartService();
    TFileLock Adding;
    ASSERT_TRUE(Adding.Open(Store + "/.jobbook.lock", O_RDWR | O_CREAT));
    ASSERT_TRUE(Adding.Lock(TFileLock::Exclusive, TFileLock::NoWait));
    const QStringList Args{"add", "restart", "2099-01-01", "10:00"};
    QProcess* First = StartCtl(Args);
    QProcess* Second = StartCtl(Args);
    EXPECT_FALSE(First->waitForFinished(2000));
    EXPECT_TRUE(WorkItemStore::List().isEmpty());
    Adding.Release();
    ASSERT_TRUE(First->waitForFinished(60000));
    ASSERT_TRUE(Second->waitForFinished(60000));
    EXPECT_EQ(QSet<int>({First->exitCode(), Second->exitCode()}), QSet<int>({0, 4}));
    EXPECT_EQ(WorkItemStore::List().size(), 1);
    QString Listed;
    ASSERT_EQ(RunCtl({"list"}, &Listed), 0);
    EXPECT_EQ(Listed.count(u'\n'), 1);
}

namespace {

// Types each line into an interactive bash on a terminal, then exits it.
const char* const Typist = R"(
import os, pty, select, sys
pid, fd = pty.fork()
if pid == 0:
    os.execvp('bash', ['bash', '--norc', '--noprofile', '-i'])
def drain(quiet):
    while True:
        ready, _, _ = select.select([fd], [], [], quiet)
        if not ready:
            return
        try:
            if not os.read(fd, 4096):
                return
        except OSError:
            return
os.write(fd, ("source '%s'; source '%s'\n" % (sys.argv[1], sys.argv[2])).encode())
drain(1.0)
for line in sys.argv[3:]:
    os.write(fd, line.encode() + b'\n')
    drain(0.5)
os.write(fd, b'exit\n')
drain(2.0)
os.waitpid(pid, 0)
)";

// What a process's descriptors point at, by number.
QMap<int, QString> Descriptors(pid_t Pid)
{
    QMap<int, QString> Out;
    const QString Folder = QStringLiteral("/proc/%1/fd").arg(Pid);
    for (const QString& Entry : QDir(Folder).entryList(QDir::Files | QDir::System)) {
        char Target[4096];
        const ssize_t Size = ::readlink(QFile::encodeName(Folder + u'/' + Entry).constData(), Target, sizeof Target);
        if (Size > 0)
            Out.insert(Entry.toInt(), QFile::decodeName(QByteArray(Target, int(Size))));
    }
    return Out;
}

// Pipe and socket ends, which a process can only have been handed.
QSet<QString> Channels(const QMap<int, QString>& Fds)
{
    QSet<QString> Out;
    for (const QString& Target : Fds)
        if (Target.contains("pipe:") || Target.contains("socket:"))
            Out.insert(Target);
    return Out;
}

} // namespace

// The script's $(...) waits for every writer of its pipe: a service that
// kept it would hold the script for ever, and log into its output.
TEST_F(CtlServiceTest, CommandSubstitutionReturnsAtOnceAndTheServiceKeepsNothingOfTheCaller)
{
    ServiceBesideCtl();
    QProcess Shell;
    Shell.setProcessEnvironment(CtlEnvironment());
    QElapsedTimer Took;
    Took.start();
    Shell.start("/bin/sh", {"-c", R"(x=$("$0" add shutdown +30) && y=$("$0" list --json) && echo "$x" && echo "$y")",
                               CtlPath()});
    ASSERT_TRUE(Shell.waitForFinished(20000));
    EXPECT_LT(Took.elapsed(), 2000);
    EXPECT_EQ(Shell.exitCode(), 0) << Shell.readAllStandardError().toStdString();
    EXPECT_TRUE(Shell.readAllStandardOutput().contains("\"next_run\""));

    ASSERT_TRUE(ServiceTesting::WaitUntil([&] { return TaskServiceRunning(Store); }, 20000));
    const QList<pid_t> Pids = Services();
    ASSERT_EQ(Pids.size(), 1);
    EXPECT_EQ(getsid(Pids[0]), Pids[0]);
    const QMap<int, QString> Fds = Descriptors(Pids[0]);
    EXPECT_EQ(Fds.value(0), "/dev/null");
    EXPECT_EQ(Fds.value(1), "/dev/null");
    EXPECT_EQ(Fds.value(2), Home.filePath("state/lumidor/lumidor-taskd.log"));
    EXPECT_TRUE((Channels(Fds) & Channels(Descriptors(getpid()))).isEmpty()) << QStringList(Fds.values()).join(' ').toStdString();
    ASSERT_TRUE(ServiceTesting::WaitUntil([&] { return TestFiles::Read(Fds.value(2)).contains("started for"); }, 20000));
}

// The user manager starts the unit the package installs (a stand-in here,
// on a private session bus, starts the service as the unit would); without
// a manager or without the unit, the service is spawned.
TEST_F(CtlServiceTest, TheUserManagerStartsTheUnitWhenItHasItElseTheServiceIsSpawned)
{
    ServiceBesideCtl();
    TPrivateBuses Buses(Home.path());
    QString Error;
    ASSERT_TRUE(Buses.Start(Error)) << Error.toStdString();
    const QString Manager = QStringLiteral("org.freedesktop.systemd1");
    const QString ManagerPath = QStringLiteral("/org/freedesktop/systemd1");
    struct TCase
    {
        const char* Units; // what the manager knows; null: no manager
        bool ByUnit;
    };
    const TCase Cases[] = {{nullptr, false}, {"other.service", false}, {"lumidor-taskd.service", true}};
    int Minutes = 5;
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Units ? Case.Units : "no manager");
        QProcess Mock;
        if (Case.Units) {
            Mock.setProcessEnvironment(Buses.Environment());
            Mock.start("/usr/bin/python3", {"-m", "dbusmock", "--session", Manager, ManagerPath, Manager + ".Manager"});
            ASSERT_TRUE(ServiceTesting::WaitUntil(
                [&] { return Buses.Connection(TPrivateBuses::Session).interface()->isServiceRegistered(Manager); }, 20000));
            // StartUnit as the manager does it: the unit's program, not a child of the caller.
            const QString Code = QStringLiteral(
                "import subprocess\n"
                "if args[0] != '%1':\n"
                "    raise dbus.exceptions.DBusException('no such unit', name='org.freedesktop.systemd1.NoSuchUnit')\n"
                "subprocess.Popen(['%2', '--store', '%3', '--utmp', '%4'], stdin=subprocess.DEVNULL,"
                " stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)\n"
                "ret = '/org/freedesktop/systemd1/job/1'\n")
                                     .arg(QString::fromLatin1(Case.Units), ServiceTesting::ServiceProgram, Store, Utmp);
            QDBusMessage Add = QDBusMessage::createMethodCall(Manager, ManagerPath, "org.freedesktop.DBus.Mock", "AddMethod");
            Add.setArguments({Manager + ".Manager", "StartUnit", "ss", "o", Code});
            ASSERT_EQ(Buses.Connection(TPrivateBuses::Session).call(Add).type(), QDBusMessage::ReplyMessage);
        }
        QString Err;
        // The unit serves the user's own store, not one named apart.
        EXPECT_EQ(RunCtl({"add", "restart", QStringLiteral("+%1").arg(Minutes++)}, nullptr,
                      {{"LUMIDOR_TASK_STORE", QString()}, {"DBUS_SESSION_BUS_ADDRESS", Buses.Address(TPrivateBuses::Session)}},
                      &Err),
            0)
            << Err.toStdString();
        ASSERT_TRUE(ServiceTesting::WaitUntil([&] { return TaskServiceRunning(Store); }, 20000));
        const QList<pid_t> Pids = Services();
        ASSERT_EQ(Pids.size(), 1);
        QFile Cmd(QStringLiteral("/proc/%1/cmdline").arg(Pids[0]));
        ASSERT_TRUE(Cmd.open(QIODevice::ReadOnly));
        EXPECT_EQ(Cmd.readAll().contains(QFile::encodeName(Utmp)), Case.ByUnit);
        if (Case.Units) {
            QDBusMessage Calls = QDBusMessage::createMethodCall(Manager, ManagerPath, "org.freedesktop.DBus.Mock", "GetMethodCalls");
            Calls.setArguments({"StartUnit"});
            const QDBusMessage Reply = Buses.Connection(TPrivateBuses::Session).call(Calls);
            ASSERT_EQ(Reply.type(), QDBusMessage::ReplyMessage);
            const QDBusArgument List = Reply.arguments().at(0).value<QDBusArgument>();
            QList<QVariantList> Made;
            List.beginArray();
            while (!List.atEnd()) {
                qulonglong When = 0;
                QVariantList Args;
                List.beginStructure();
                List >> When >> Args;
                List.endStructure();
                Made.append(Args);
            }
            List.endArray();
            EXPECT_EQ(Made, QList<QVariantList>{QVariantList({"lumidor-taskd.service", "replace"})});
        }
        Mock.terminate();
        Mock.waitForFinished(10000);
        EXPECT_EQ(EndProcessesCarrying(Store), 1);
    }
}

// The same action at the same moment is one job, however the locale writes
// its label and whichever language the suite speaks.
TEST_F(CtlServiceTest, OneJobPerActionAndScheduleWhateverTheLabelsLanguageOrFormat)
{
    ASSERT_TRUE(QFile::link(LUMIDOR_BUILD_DIR "/bin/Toolbox_Language", Home.filePath("tree/bin/Toolbox_Language")));
    ASSERT_TRUE(TestFiles::Write(Home.filePath("config/Zelvo/Corvane V8/Main.ini"), "[Main]\r\nLanguage=German\r\n"));
    struct TCase
    {
        QStringList Args;
        const char* TimeLocale;
        int Code;
    };
    const TCase Cases[] = {
        {{"add", "shutdown", "2099-01-01 18:00"}, "en_US.UTF-8", 0},
        {{"add", "shutdown", "2099-01-01 18:00"}, "de_DE.UTF-8", 4},
        {{"add", "shutdown", "01/01/2099", "18:00"}, "en_GB.UTF-8", 4},
        {{"add", "restart", "2099-01-01 18:00"}, "de_DE.UTF-8", 0},
        {{"add", "shutdown", "18:00", "--weekly", "wed"}, "de_DE.UTF-8", 0},
        {{"add", "shutdown", "18:00", "--weekly=Wednesday"}, "en_GB.UTF-8", 4},
        {{"add", "shutdown", "18:00", "--weekly", "thu"}, "en_GB.UTF-8", 0},
        {{"add", "shutdown", "18:00", "--daily"}, "en_US.UTF-8", 0},
        {{"add", "shutdown", "18:00", "--daily"}, "de_DE.UTF-8", 4},
        {{"add", "shutdown", "18:01", "--daily"}, "de_DE.UTF-8", 0},
    };
    int Jobs = 0;
    for (const TCase& Case : Cases) {
        SCOPED_TRACE((Case.Args.join(' ') + " under " + Case.TimeLocale).toStdString());
        QString Err;
        EXPECT_EQ(RunCtl(Case.Args, nullptr, {{"LC_ALL", QString()}, {"LC_TIME", Case.TimeLocale}}, &Err), Case.Code);
        if (Case.Code == 4) {
            EXPECT_TRUE(Err.contains("Diese Aufgabe ist bereits geplant!")) << Err.toStdString();
        }
        Jobs += Case.Code == 0;
        EXPECT_EQ(WorkItemStore::List().size(), Jobs);
    }
}

// Each of many adds at once makes its job, none waits for the next second.
TEST_F(CtlServiceTest, ManyAddsAtOnceEachMakeTheirJob)
{
    constexpr int Adds = 8;
    QList<QProcess*> Running;
    for (int I = 0; I < Adds; ++I)
        Running += StartCtl({"add", I % 2 ? "restart" : "shutdown", QStringLiteral("2099-01-01 10:%1").arg(I, 2, 10, QChar('0'))});
    QStringList Names;
    for (QProcess* Ctl : Running) {
        ASSERT_TRUE(Ctl->waitForFinished(60000));
        EXPECT_EQ(Ctl->exitCode(), 0) << Ctl->readAllStandardError().toStdString();
        Names += QString::fromUtf8(Ctl->readAllStandardOutput()).trimmed().section(", job ", -1);
    }
    EXPECT_EQ(QSet<QString>(Names.cbegin(), Names.cend()).size(), Adds);
    EXPECT_EQ(WorkItemStore::List().size(), Adds);
    TJobConfig Registry(Home.filePath("config/Zelvo/Corvane V8/Lumidor/Lumidor.ini"));
    EXPECT_EQ(Registry.ShutdownJobCount() + Registry.RestartJobCount(), Adds);
}

// Reading changes no byte of any file, makes nothing and starts nothing, and
// an answer that cannot be written fails.
TEST_F(CtlServiceTest, ReadCommandsLeaveEveryFileAsItWasAndFailWhenTheyCannotAnswer)
{
    ServiceBesideCtl();
    ASSERT_EQ(RunCtl({"add", "shutdown", "2099-01-01 10:00"}), 0);
    ASSERT_TRUE(ServiceTesting::WaitUntil([&] { return TaskServiceRunning(Store); }, 20000));
    ASSERT_EQ(EndProcessesCarrying(Store), 1);
    // An entry whose work item is gone, which a writer would prune.
    TJobConfig(Home.filePath("config/Zelvo/Corvane V8/Lumidor/Lumidor.ini")).AddJob("Zelvo_Lumidor1", "gone", true);
    ASSERT_TRUE(TestFiles::Write(Home.filePath("state/lumidor/history.log"),
        "2099-01-01 10:00:00 +00:00 missed Zelvo_Lumidor1.job: the run due at 2099-01-01 10:00:00 passed\n"));
    const auto Everything = [&] {
        QMap<QString, QByteArray> Files;
        QDirIterator It(Home.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (It.hasNext()) {
            const QString Path = It.next();
            Files.insert(Path, QFileInfo(Path).isFile() ? TestFiles::Read(Path) : QByteArray("folder"));
        }
        return Files;
    };
    const QMap<QString, QByteArray> Before = Everything();
    const QStringList Reads[] = {{"list"}, {"list", "--json"}, {"next"}, {"next", "--json"}, {"history"},
        {"history", "--json"}, {"list", "--help"}, {"--version"}};
    for (const QStringList& Args : Reads) {
        SCOPED_TRACE(Args.join(' ').toStdString());
        EXPECT_EQ(RunCtl(Args), 0);
        EXPECT_EQ(Everything(), Before);
        EXPECT_TRUE(Services().isEmpty());

        QProcess Failing;
        Failing.setProcessEnvironment(CtlEnvironment());
        Failing.setStandardOutputFile("/dev/full");
        Failing.start(CtlPath(), Args);
        ASSERT_TRUE(Failing.waitForFinished(60000));
        EXPECT_EQ(Failing.exitCode(), 1);
        EXPECT_TRUE(Failing.readAllStandardError().contains("the output could not be written: No space left on device"));
    }
}

// Every time of every command's JSON in one form, whatever the zone: UTC is
// "+00:00", never "Z", and a local time of the history gets its offset.
TEST_F(CtlServiceTest, JsonTimesOfEveryCommandAreLocalWithTheirOffset)
{
    const QRegularExpression Iso(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)"));
    const QRegularExpression AnyTime(QStringLiteral(R"(\d{4}-\d\d-\d\d[T ]\d\d:\d\d(:\d\d)?\S*)"));
    ASSERT_TRUE(TestFiles::Write(Home.filePath("state/lumidor/history.log"),
        "2099-01-01 10:00:00 +00:00 missed Zelvo_Lumidor1.job: the run due at 2099-01-01 09:30:00 passed\n"
        "2099-01-01 10:01:00 -03:30 postponed Shutdown.exe: by the user: the poweroff to 2099-01-01T10:11:00, 10 minutes later\n"));
    struct TCase
    {
        const char* Zone;
        const char* Offset;
    };
    const TCase Cases[] = {{"UTC", "+00:00"}, {"Asia/Kolkata", "+05:30"}, {"America/St_Johns", "-03:30"}};
    int Minute = 0;
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Zone);
        const QMap<QString, QString> Zone{{"TZ", Case.Zone}};
        ASSERT_EQ(RunCtl({"add", "restart", QStringLiteral("2099-01-15 10:%1").arg(Minute++, 2, 10, QChar('0'))}, nullptr, Zone), 0);
        QStringList Times;
        QString Out;
        ASSERT_EQ(RunCtl({"list", "--json"}, &Out, Zone), 0);
        for (const QJsonValue& Job : QJsonDocument::fromJson(Out.toUtf8()).array())
            Times += Job["next_run"].toString();
        ASSERT_EQ(RunCtl({"next", "--json"}, &Out, Zone), 0);
        Times += QJsonDocument::fromJson(Out.toUtf8()).object()["next_run"].toString();
        ASSERT_EQ(RunCtl({"history", "--json"}, &Out, Zone), 0);
        const QJsonArray Events = QJsonDocument::fromJson(Out.toUtf8()).array();
        ASSERT_EQ(Events.size(), 2);
        for (const QJsonValue& Event : Events) {
            Times += Event["time"].toString();
            for (auto It = AnyTime.globalMatch(Event["details"].toString()); It.hasNext();)
                Times += It.next().captured().remove(QRegularExpression("[,.]$"));
        }
        // A job by its list name, the tool by what the line calls it.
        EXPECT_EQ(Events[0]["job"].toString(), "Zelvo_Lumidor1");
        EXPECT_TRUE(Events[1]["job"].isNull());
        EXPECT_EQ(Times.size(), Minute + 5);
        for (const QString& Time : Times)
            EXPECT_TRUE(Iso.match(Time).hasMatch()) << Time.toStdString();
        EXPECT_TRUE(Times[0].endsWith(Case.Offset)) << Times[0].toStdString();
        EXPECT_TRUE(Events[0]["details"].toString().contains(QStringLiteral("2099-01-01T09:30:00") + Case.Offset));
        EXPECT_TRUE(Events[1]["details"].toString().contains(QStringLiteral("2099-01-01T10:11:00") + Case.Offset));
    }
    // No next job is a value too.
    ASSERT_EQ(RunCtl({"delete", "--all"}), 0);
    QString Out;
    EXPECT_EQ(RunCtl({"next", "--json"}, &Out), 3);
    EXPECT_EQ(Out, "null\n");
}

// A moment the clocks skip is refused by name; one they go over twice is
// the first, and said so.
TEST_F(CtlServiceTest, AMomentTheClocksSkipIsRefusedOneTheyRepeatIsTheFirst)
{
    const QMap<QString, QString> Berlin{{"TZ", "Europe/Berlin"}};
    QString Out;
    QString Err;
    EXPECT_EQ(RunCtl({"add", "shutdown", "2099-03-29 02:30"}, &Out, Berlin, &Err), 2);
    EXPECT_EQ(Err, "lumidorctl: \"2099-03-29 02:30\": this moment does not exist here: the clocks skip it\n");
    EXPECT_TRUE(WorkItemStore::List().isEmpty());
    // A daily job at that time runs on every other day.
    EXPECT_EQ(RunCtl({"add", "shutdown", "02:30", "--daily"}, &Out, Berlin, &Err), 0) << Err.toStdString();

    EXPECT_EQ(RunCtl({"add", "restart", "2099-10-25", "02:30"}, &Out, Berlin, &Err), 0);
    EXPECT_EQ(Err, "lumidorctl: \"2099-10-25 02:30\": this moment happens twice here (the clocks go back); the first is "
                   "taken: 2099-10-25T02:30:00+02:00\n");
    ASSERT_EQ(RunCtl({"list"}, &Out, Berlin), 0);
    EXPECT_TRUE(Out.contains("restart\t2099-10-25T02:30:00+02:00\t")) << Out.toStdString();
    // The hour before it is plain.
    EXPECT_EQ(RunCtl({"add", "restart", "2099-10-25", "01:30"}, &Out, Berlin, &Err), 0);
    EXPECT_TRUE(Err.isEmpty()) << Err.toStdString();
}

// Bash's completion of lumidorctl as a user meets it: a real interactive
// bash on a terminal, keys typed with Tab and Enter, and what the command
// then received. Only "lumidorctl list", which the completion asks, reaches
// the real program; every other command line is recorded.
TEST_F(CtlServiceTest, CompletionTakesNamesWithBlanksAndQuotesAndWordsFromAnyPrefixWithoutAService)
{
    const QString Completions = QStringLiteral("/usr/share/bash-completion/bash_completion");
    ASSERT_TRUE(QFile::exists(Completions)) << "bash-completion is not installed (scripts/deps.sh)";
    TJobConfig Registry(Home.filePath("config/Zelvo/Corvane V8/Lumidor/Lumidor.ini"));
    for (const QString& Name : QStringList{"My Job", "It's \"quoted\"", "Zelvo_Lumidor20141208212000", "a:b c"}) {
        ASSERT_EQ(WorkItemStore::Create(Name, ShutdownItem(WorkItem::TriggerOnce, ServiceTesting::NowSeconds() + 3600)),
            TStoreResult::Ok);
        Registry.AddJob(Name, "Shutdown computer at: later", true);
    }
    const QString Record = Home.filePath("typed");
    ASSERT_TRUE(TestFiles::Write(Home.filePath("typing/lumidorctl"),
        QStringLiteral("#!/bin/sh\n"
                       "[ \"$#\" = 1 ] && [ \"$1\" = list ] && exec '%1' list\n"
                       "for a in \"$@\"; do printf '[%s]' \"$a\"; done >> '%2'; echo >> '%2'\n")
            .arg(CtlPath(), Record)
            .toUtf8()));
    ASSERT_EQ(::chmod(QFile::encodeName(Home.filePath("typing/lumidorctl")).constData(), 0755), 0);
    ServiceBesideCtl();

    struct TCase
    {
        const char* Typed;
        const char* Received;
    };
    const TCase Cases[] = {
        {"lumidorctl delete My\t", "[delete][My Job]"},
        {"lumidorctl delete \"My\t", "[delete][My Job]"},
        {"lumidorctl delete It\t", "[delete][It's \"quoted\"]"},
        {"lumidorctl delete 'It\t", "[delete][It's \"quoted\"]"},
        {"lumidorctl delete zel\t", "[delete][Zelvo_Lumidor20141208212000]"},
        {"lumidorctl delete a:\t", "[delete][a:b c]"},
        {"lumidorctl add restart 07:00 --weekly W\t", "[add][restart][07:00][--weekly][wednesday]"},
        {"lumidorctl add restart 07:00 --weekly=th\t", "[add][restart][07:00][--weekly=thursday]"},
        {"lumidorctl add rest\t 07:00 --d\t", "[add][restart][07:00][--daily]"},
        {"lumidorctl hi\t", "[history]"},
        {"lumidorctl V\t", "[version]"},
        {"lumidorctl list --j\t", "[list][--json]"},
        {"lumidorctl help ne\t", "[help][next]"},
    };
    QStringList Typed{Completions, QStringLiteral(LUMIDOR_SOURCE_DIR "/resources/completion/lumidorctl")};
    QStringList Expected;
    for (const TCase& Case : Cases) {
        Typed += QString::fromUtf8(Case.Typed);
        Expected += QString::fromUtf8(Case.Received);
    }
    QProcess Bash;
    Bash.setProcessEnvironment(
        CtlEnvironment({{"PATH", Home.filePath("typing") + ":/usr/bin:/bin"}, {"TERM", "dumb"}, {"LC_ALL", "C.UTF-8"}}));
    Bash.start("/usr/bin/python3", QStringList{"-c", QString::fromUtf8(Typist)} + Typed);
    ASSERT_TRUE(Bash.waitForFinished(120000));
    EXPECT_EQ(QString::fromUtf8(TestFiles::Read(Record)).split('\n', Qt::SkipEmptyParts), Expected);
    // Listing the names started no task service.
    EXPECT_TRUE(Services().isEmpty());
}
