#include "app/UniqueInstance.h"
#include "jobs/uJobConfig.h"
#include "platform/DateTime.h"
#include "platform/InstanceLock.h"
#include "platform/WorkItemStore.h"
#include "resources/pictures/Pictures.h"
#include "scheduler/uTaskScheduler.h"
#include "support/AtSpiSession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonDocument>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>
#include <QTime>
#include <gtest/gtest.h>

#include <memory>

// The built program under Xvfb with a real accessibility bus, read as a
// screen reader reads it and driven from the keyboard alone. It runs as a
// copy under a file name of its own (the instance lock does not follow the
// environment), with nothing beside it: no task service is started and no
// shutdown tool can run, whatever jobs it schedules.
namespace {

const QString BuiltProgram = QStringLiteral(LUMIDOR_BUILD_DIR "/bin/lumidor");
const QString Caption = QStringLiteral("Zelvo Lumidor");
const QString JobLabel = QStringLiteral("Shutdown computer at: 12/31/2099 9:30 PM");

class AccessibilityTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString Missing = TAtSpiSession::Missing(); !Missing.isEmpty())
            GTEST_SKIP() << "not installed (scripts/deps.sh installs them): " << Missing.toStdString();
        ASSERT_TRUE(QFileInfo(BuiltProgram).isExecutable()) << "build the lumidor target first";
        ASSERT_TRUE(FRoot.isValid());
        FName = QStringLiteral("lumidor-a11y-") + QFileInfo(FRoot.path()).fileName();
        ASSERT_TRUE(QDir().mkpath(FRoot.filePath(QStringLiteral("bin"))));
        ASSERT_TRUE(QFile::copy(BuiltProgram, FRoot.filePath(QStringLiteral("bin/")) + FName));
        Session = std::make_unique<TAtSpiSession>(FRoot.path());
        QString Error;
        ASSERT_TRUE(Session->Start(Error)) << Error.toStdString();
        FOldLockFolder = InstanceLock::RuntimeFolder();
    }

    void TearDown() override
    {
        Session.reset();
        WorkItemStore::SetFolderForTesting({});
        if (FName.isEmpty())
            return;
        // The program's lock lies in the user's own folder for it.
        InstanceLock::SetRuntimeFolderForTesting(QString());
        const TInstanceLock Lock(InstanceNameOf(FName));
        (void)QFile::remove(Lock.ChannelPath());
        (void)QFile::remove(Lock.LockFilePath());
        InstanceLock::SetRuntimeFolderForTesting(FOldLockFolder);
    }

    QString Store() const { return FRoot.filePath(QStringLiteral("data/lumidor/tasks")); }
    QString RegistryPath() const { return FRoot.filePath(QStringLiteral("config/Zelvo/Corvane V8/Lumidor/Lumidor.ini")); }
    QStringList Jobs() const { return QDir(Store()).entryList({QStringLiteral("*.job")}, QDir::Files); }
    int RegistryJobs() const
    {
        TJobConfig Config(RegistryPath());
        return Config.ShutdownJobCount() + Config.RestartJobCount();
    }

    // A shutdown job as an earlier run left it: a work item and its entry.
    void AddJob()
    {
        WorkItemStore::SetFolderForTesting(Store());
        TTaskInfo Info;
        Info.TaskName = QStringLiteral("Zelvo_Lumidor20991231200000");
        Info.ApplicationName = QStringLiteral("/bin/false");
        Info.Parameters = QStringLiteral("-s");
        Info.StartTime = DateTime::EncodeDate(2099, 12, 31) + DateTime::EncodeTime(21, 30, 0);
        TTaskScheduler Client;
        ASSERT_TRUE(Client.CreateTask(Info));
        TJobConfig(RegistryPath()).AddJob(Info.TaskName, JobLabel, true);
    }

    // Focus: give the window the focus at once, as a window manager does.
    QProcess* StartWindow(QProcessEnvironment Env = {}, bool Focus = true)
    {
        if (Env.isEmpty())
            Env = Session->Environment();
        // ASan's leak report at an ended program is not this test's subject.
        Env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        QProcess* P = Session->StartProgram(FRoot.filePath(QStringLiteral("bin/")) + FName, Env);
        FWindow = Session->FindWindow(Caption);
        EXPECT_FALSE(FWindow.isEmpty()) << "no window came up";
        if (Focus) {
            EXPECT_TRUE(Session->FocusWindow(FWindow));
        }
        return P;
    }

    // The tree once the node Role/Name has State ("focused", "showing").
    QJsonArray TreeWith(const QString& Role, const QString& Name, const QString& State)
    {
        QString Error;
        const QJsonArray T = Session->TreeWhen(FName, [&](const QJsonArray& T) {
            const auto L = NodesOf(T, Role, Name);
            return std::any_of(L.begin(), L.end(), [&](const QJsonObject& N) { return HasState(N, State); });
        }, 15000, &Error);
        EXPECT_FALSE(T.isEmpty()) << Error.toStdString();
        return T;
    }

    // What each page must say, with the role a user expects: Showing false
    // for what lies on a hidden page.
    struct TExposed
    {
        const char* Role;
        QString Name;
        bool Showing;
        const char* State = nullptr;
    };
    void ExpectExposed(const QJsonArray& Tree, const char* Page, const std::vector<TExposed>& Table)
    {
        ASSERT_FALSE(Tree.isEmpty()) << Page;
        for (const TExposed& E : Table) {
            const auto L = NodesOf(Tree, QString::fromLatin1(E.Role), E.Name);
            const bool Showing = std::any_of(L.begin(), L.end(), [](const QJsonObject& N) { return HasState(N, QStringLiteral("showing")); });
            EXPECT_FALSE(L.isEmpty()) << Page << ": no " << E.Role << " \"" << E.Name.toStdString() << "\"";
            EXPECT_EQ(Showing, E.Showing) << Page << ": " << E.Role << " \"" << E.Name.toStdString() << "\"";
            if (E.State && !L.isEmpty()) {
                EXPECT_TRUE(HasState(L.first(), QString::fromLatin1(E.State))) << Page << ": " << E.Name.toStdString() << " not " << E.State;
            }
        }
        // Whatever shows has a place on the screen.
        for (const QJsonValue& V : Tree) {
            const QJsonObject N = V.toObject();
            const QJsonArray R = N.value(QStringLiteral("rect")).toArray();
            if (HasState(N, QStringLiteral("showing")) && N.value(QStringLiteral("role")) == QStringLiteral("label")) {
                EXPECT_TRUE(R.size() == 4 && R[2].toInt() > 0 && R[3].toInt() > 0) << Page << ": " << N.value(QStringLiteral("name")).toString().toStdString();
            }
        }
    }

    QTemporaryDir FRoot;
    QString FName;
    QString FOldLockFolder;
    QString FWindow;
    std::unique_ptr<TAtSpiSession> Session;
};

TEST_F(AccessibilityTest, EveryPageTellsAScreenReaderEveryTextItShows)
{
    AddJob();
    StartWindow();
    const QString Banner = QStringLiteral("Shuts down your computer automatically at a scheduled time.");
    const std::vector<TExposed> Main = {
        {"frame", Caption, true},
        {"label", Caption, true},
        {"label", Banner, true},
        {"label", QStringLiteral("Scheduled task:"), true},
        // The one fact the first page exists to show.
        {"label", JobLabel, true},
        {"panel", QStringLiteral("Action"), true},
        {"radio button", QStringLiteral("Add a new Lumidor scheduled task"), true, "checked"},
        {"radio button", QStringLiteral("Delete an existing scheduled task"), true},
        {"push button", QStringLiteral("< Back"), true},
        {"push button", QStringLiteral("Next >"), true, "focused"},
        {"push button", QStringLiteral("Close"), true},
        {"label", QStringLiteral("Schedule Time:"), false},
        {"radio button", QStringLiteral("Shut down Computer"), false},
    };
    ExpectExposed(TreeWith(QStringLiteral("push button"), QStringLiteral("Next >"), QStringLiteral("focused")), "first page", Main);

    ASSERT_TRUE(Session->Keys({QStringLiteral("Return")}));
    const std::vector<TExposed> Add = {
        {"label", Caption, true},
        {"label", QStringLiteral("Schedule Time:"), true},
        {"label", QStringLiteral("Shutdown computer at: *"), true},
        {"panel", QStringLiteral("Schedule"), true},
        {"radio button", QStringLiteral("Shut down Computer"), true, "checked"},
        {"radio button", QStringLiteral("Restart Computer"), true},
        {"radio button", QStringLiteral("After:"), true, "checked"},
        {"radio button", QStringLiteral("Or at"), true},
        {"combo box", QStringLiteral("1 minute"), true},
        {"push button", QStringLiteral("Finished"), true},
        {"label", QStringLiteral("Scheduled task:"), false},
        {"label", JobLabel, false},
    };
    // The focus moves into the page, at its first control.
    const QJsonArray AddTree = TreeWith(QStringLiteral("radio button"), QStringLiteral("Shut down Computer"), QStringLiteral("focused"));
    ExpectExposed(AddTree, "add page", Add);
    // The drop-down beside "After:" is read as "After:".
    const auto Delay = NodesOf(AddTree, QStringLiteral("combo box"), QStringLiteral("1 minute"));
    ASSERT_FALSE(Delay.isEmpty());
    EXPECT_EQ(Delay.first().value(QStringLiteral("relations")).toObject().value(QStringLiteral("labelled by")).toArray(),
        QJsonArray({QStringLiteral("After:")}));

    // A new delay changes the preview, and a screen reader hears it, as it
    // hears a changed QLabel.
    ASSERT_TRUE(Session->Keys({QStringLiteral("Tab")}));
    TreeWith(QStringLiteral("combo box"), QStringLiteral("1 minute"), QStringLiteral("focused"));
    QProcess* Heard = Session->ListenToNameChanges(FName, 20);
    ASSERT_TRUE(Session->Keys({QStringLiteral("Down")}));
    bool PreviewHeard = false;
    const QDeadlineTimer Deadline(15000);
    while (!PreviewHeard && !Deadline.hasExpired() && Heard->waitForReadyRead(500))
        while (Heard->canReadLine()) {
            const QJsonObject Change = QJsonDocument::fromJson(Heard->readLine()).object();
            PreviewHeard |= Change.value(QStringLiteral("role")) == QStringLiteral("label")
                && Change.value(QStringLiteral("name")).toString().startsWith(QStringLiteral("Shutdown computer at: "));
        }
    EXPECT_TRUE(PreviewHeard);

    // Back (before Finished in the tab order), then "Delete" and Next.
    ASSERT_TRUE(Session->Keys({QStringLiteral("shift+Tab"), QStringLiteral("shift+Tab"), QStringLiteral("shift+Tab"), QStringLiteral("shift+Tab"),
        QStringLiteral("Return")}));
    TreeWith(QStringLiteral("radio button"), QStringLiteral("Add a new Lumidor scheduled task"), QStringLiteral("focused"));
    ASSERT_TRUE(Session->Keys({QStringLiteral("Down"), QStringLiteral("Tab"), QStringLiteral("Return")}));
    const std::vector<TExposed> Del = {
        {"label", Caption, true},
        {"table column header", QStringLiteral("Scheduled task"), true},
        // Qt's bridge tells a row's check only once it is ticked.
        {"table cell", JobLabel, true},
        {"push button", QStringLiteral("Delete"), true},
        {"radio button", QStringLiteral("Delete an existing scheduled task"), false, "checked"},
        {"label", QStringLiteral("Schedule Time:"), false},
    };
    ExpectExposed(TreeWith(QStringLiteral("push button"), QStringLiteral("Delete"), QStringLiteral("showing")), "delete page", Del);
}

TEST_F(AccessibilityTest, AJobIsAddedAndDeletedWithTheKeyboardAlone)
{
    QProcess* Window = StartWindow();
    TreeWith(QStringLiteral("push button"), QStringLiteral("Next >"), QStringLiteral("focused"));

    // Next, then back round to Finished with "Shut down" after 1 minute;
    // Enter closes the message.
    ASSERT_TRUE(Session->Keys({QStringLiteral("Return")}));
    TreeWith(QStringLiteral("radio button"), QStringLiteral("Shut down Computer"), QStringLiteral("focused"));
    ASSERT_TRUE(Session->Keys({QStringLiteral("shift+Tab"), QStringLiteral("shift+Tab")}));
    TreeWith(QStringLiteral("push button"), QStringLiteral("Finished"), QStringLiteral("focused"));
    ASSERT_TRUE(Session->Keys({QStringLiteral("Return")}));
    TreeWith(QStringLiteral("label"), QStringLiteral("Added successfully!"), QStringLiteral("showing"));
    ASSERT_TRUE(Session->Keys({QStringLiteral("Return")}));
    const QJsonArray Main = TreeWith(QStringLiteral("label"), QStringLiteral("Shutdown computer at: *"), QStringLiteral("showing"));
    EXPECT_EQ(Jobs().size(), 1);
    EXPECT_EQ(RegistryJobs(), 1);
    EXPECT_FALSE(NodesOf(Main, QStringLiteral("radio button"), QStringLiteral("Add a new Lumidor scheduled task")).isEmpty());

    // The window gets the focus back as a window manager gives it when the
    // message closes, on the choice of the first page. An arrow to "Delete",
    // Tab to Next.
    ASSERT_TRUE(Session->FocusWindow(FWindow));
    TreeWith(QStringLiteral("radio button"), QStringLiteral("Add a new Lumidor scheduled task"), QStringLiteral("focused"));
    ASSERT_TRUE(Session->Keys({QStringLiteral("Down")}));
    TreeWith(QStringLiteral("radio button"), QStringLiteral("Delete an existing scheduled task"), QStringLiteral("checked"));
    ASSERT_TRUE(Session->Keys({QStringLiteral("Tab"), QStringLiteral("Return")}));
    // The focus is in the list: Space ticks the row, on to Delete.
    TreeWith(QStringLiteral("push button"), QStringLiteral("Delete"), QStringLiteral("showing"));
    ASSERT_TRUE(Session->Keys({QStringLiteral("space")}));
    TreeWith(QStringLiteral("table cell"), QStringLiteral("Shutdown computer at: *"), QStringLiteral("checked"));
    ASSERT_TRUE(Session->Keys({QStringLiteral("Tab"), QStringLiteral("Tab")}));
    TreeWith(QStringLiteral("push button"), QStringLiteral("Delete"), QStringLiteral("focused"));
    ASSERT_TRUE(Session->Keys({QStringLiteral("Return")}));
    TreeWith(QStringLiteral("label"), QStringLiteral("Deleted successfully!"), QStringLiteral("showing"));
    ASSERT_TRUE(Session->Keys({QStringLiteral("Return")}));
    TreeWith(QStringLiteral("label"), QStringLiteral("N/A"), QStringLiteral("showing"));
    EXPECT_EQ(Jobs().size(), 0);
    EXPECT_EQ(RegistryJobs(), 0);

    // Escape does what Close does.
    ASSERT_TRUE(Session->FocusWindow(FWindow));
    ASSERT_TRUE(Session->Keys({QStringLiteral("Escape")}));
    EXPECT_TRUE(Window->waitForFinished(15000));
}

// Heard, not only exposed: a real Orca listens while a user goes through
// every page with the keyboard alone, in the suite's language.
class ScreenReaderTest : public AccessibilityTest, public ::testing::WithParamInterface<const char*>
{
protected:
    void SetUp() override
    {
        if (const QString Missing = TAtSpiSession::MissingScreenReader(); !Missing.isEmpty())
            GTEST_SKIP() << "not installed (scripts/deps.sh installs them): " << Missing.toStdString();
        AccessibilityTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        if (TAtSpiSession::OtherOrcaRuns())
            GTEST_SKIP() << "an Orca of this user runs already; the test does not replace it";
        // The language files beside the program, the suite's setting below the test's XDG_CONFIG_HOME.
        const QString Languages = QStringLiteral(LUMIDOR_BUILD_DIR "/bin/Toolbox_Language");
        const QString Copy = FRoot.filePath(QStringLiteral("bin/Toolbox_Language"));
        ASSERT_TRUE(QDir().mkpath(Copy));
        for (const QString& File : QDir(Languages).entryList({QStringLiteral("*.lng")}, QDir::Files))
            ASSERT_TRUE(QFile::copy(Languages + u'/' + File, Copy + u'/' + File));
        ASSERT_TRUE(QDir().mkpath(FRoot.filePath(QStringLiteral("config/Zelvo/Corvane V8"))));
        QFile Settings(FRoot.filePath(QStringLiteral("config/Zelvo/Corvane V8/Main.ini")));
        ASSERT_TRUE(Settings.open(QIODevice::WriteOnly));
        Settings.write("[Main]\nLanguage=" + QByteArray(GetParam()) + "\n");
        Settings.close();
        QString Error;
        ASSERT_TRUE(Session->StartScreenReader(Error)) << Error.toStdString();
    }
};

TEST_P(ScreenReaderTest, OrcaSaysEveryPageAndEveryNewScheduleAsTheKeysReachThem)
{
    // "@window": the window gets the focus back, as a window manager gives it
    // when a message closes. "@minute": two adds that must make the same
    // label start early enough in a minute to finish within it.
    struct TSaid
    {
        const char* Where;
        QStringList Keys;
        QStringList English;
        QStringList German;
        // Each phrase said once only: the focus and the change do not both say it.
        bool Once = false;
    };
    const QString Job = JobLabel;
    const std::vector<TSaid> Table = {
        {"opening", {QStringLiteral("@window")},
            {Caption, QStringLiteral("Shuts down your computer automatically at a scheduled time."), QStringLiteral("Scheduled task:"), Job},
            {Caption, QStringLiteral("Fährt Ihren Computer zur geplanten Zeit automatisch herunter."), QStringLiteral("Geplant:"), Job}},
        {"add page", {QStringLiteral("Return")},
            {QStringLiteral("Schedule"), QStringLiteral("Shut down Computer"), QStringLiteral("Schedule Time: Shutdown computer at: ")},
            {QStringLiteral("Zeitplan"), QStringLiteral("Herunterfahren"), QStringLiteral("Geplante Zeit: Herunterfahren: ")}},
        {"the action", {QStringLiteral("Down")},
            {QStringLiteral("Restart Computer"), QStringLiteral("Schedule Time: Restart computer at: ")},
            {QStringLiteral("Neu starten"), QStringLiteral("Geplante Zeit: Neustart: ")}, true},
        {"the delay list", {QStringLiteral("Tab")},
            {QStringLiteral("After:"), QStringLiteral("Schedule Time: Restart computer at: ")},
            {QStringLiteral("Nach:"), QStringLiteral("Geplante Zeit: Neustart: ")}},
        {"another delay", {QStringLiteral("Down")},
            {QStringLiteral("Schedule Time: Restart computer at: ")},
            {QStringLiteral("Geplante Zeit: Neustart: ")}, true},
        {"the kind of time", {QStringLiteral("Tab")}, {QStringLiteral("After:")}, {QStringLiteral("Nach:")}},
        {"once at a date and time", {QStringLiteral("Down")},
            {QStringLiteral("Or at"), QStringLiteral("Schedule Time: Restart computer at: ")},
            {QStringLiteral("Oder:"), QStringLiteral("Geplante Zeit: Neustart: ")}, true},
        {"the time", {QStringLiteral("Tab")},
            {QStringLiteral("Schedule Time: Restart computer at: ")},
            {QStringLiteral("Geplante Zeit: Neustart: ")}},
        {"a later time", {QStringLiteral("Up")},
            {QStringLiteral("Schedule Time: Restart computer at: ")},
            {QStringLiteral("Geplante Zeit: Neustart: ")}, true},
        // Back to "After:", which turns the pickers off, then Tab to Back.
        {"first page", {QStringLiteral("shift+Tab"), QStringLiteral("Up"), QStringLiteral("Tab"), QStringLiteral("Return")},
            {QStringLiteral("Action"), QStringLiteral("Add a new Lumidor scheduled task"), QStringLiteral("Scheduled task:"), Job},
            {QStringLiteral("Aktion"), QStringLiteral("Neue Lumidor-Aufgabe planen"), QStringLiteral("Geplant:"), Job}},
        {"delete page", {QStringLiteral("Down"), QStringLiteral("Tab"), QStringLiteral("Return")},
            {QStringLiteral("Scheduled tasks in the list: 1")},
            {QStringLiteral("Geplante Aufgaben in der Liste: 1")}},
        {"deleted", {QStringLiteral("space"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Return")},
            {QStringLiteral("Deleted successfully!")},
            {QStringLiteral("Erfolgreich gelöscht!")}},
        {"first page without a job", {QStringLiteral("Return"), QStringLiteral("@window")},
            {Caption, QStringLiteral("Scheduled task: N/A"), QStringLiteral("Delete a scheduled task"), QStringLiteral("Scheduled task: N/A")},
            {Caption, QStringLiteral("Geplant: N/A"), QStringLiteral("Geplante Aufgabe löschen"), QStringLiteral("Geplant: N/A")}},
        {"empty delete page", {QStringLiteral("Tab"), QStringLiteral("Return")},
            {QStringLiteral("The list holds no scheduled task.")},
            {QStringLiteral("Die Liste enthält keine geplante Aufgabe.")}},
        {"first page again", {QStringLiteral("Tab"), QStringLiteral("Return")},
            {QStringLiteral("Delete a scheduled task"), QStringLiteral("Scheduled task: N/A")},
            {QStringLiteral("Geplante Aufgabe löschen"), QStringLiteral("Geplant: N/A")}},
        {"add page", {QStringLiteral("@minute"), QStringLiteral("Up"), QStringLiteral("Tab"), QStringLiteral("Return")},
            {QStringLiteral("Schedule Time: Shutdown computer at: ")},
            {QStringLiteral("Geplante Zeit: Herunterfahren: ")}},
        {"added", {QStringLiteral("shift+Tab"), QStringLiteral("shift+Tab"), QStringLiteral("Return")},
            {QStringLiteral("Added successfully!")},
            {QStringLiteral("Erfolgreich hinzugefügt!")}},
        {"first page with the new job", {QStringLiteral("Return"), QStringLiteral("@window")},
            {QStringLiteral("Add a new Lumidor scheduled task"), QStringLiteral("Scheduled task: Shutdown computer at: ")},
            {QStringLiteral("Neue Lumidor-Aufgabe planen"), QStringLiteral("Geplant: Herunterfahren: ")}},
        {"the same job again", {QStringLiteral("Tab"), QStringLiteral("Return")},
            {QStringLiteral("Schedule Time: Shutdown computer at: ")},
            {QStringLiteral("Geplante Zeit: Herunterfahren: ")}},
        {"exists", {QStringLiteral("shift+Tab"), QStringLiteral("shift+Tab"), QStringLiteral("Return")},
            {QStringLiteral("Scheduled task already exists!")},
            {QStringLiteral("Diese Aufgabe ist bereits geplant!")}},
    };

    AddJob();
    Session->WaitQuiet();
    StartWindow({}, false);
    const bool German = QByteArray(GetParam()) == "German";
    for (const TSaid& Row : Table) {
        Session->WaitQuiet();
        const qsizetype From = Session->Spoken().size();
        for (const QString& Key : Row.Keys) {
            if (Key == QStringLiteral("@window")) {
                ASSERT_TRUE(Session->FocusWindow(FWindow)) << Row.Where;
            } else if (Key == QStringLiteral("@minute")) {
                while (QTime::currentTime().second() >= 20)
                    QThread::msleep(200);
            } else {
                ASSERT_TRUE(Session->Keys({Key})) << Row.Where;
            }
        }
        const QStringList& Phrases = German ? Row.German : Row.English;
        QString Heard;
        EXPECT_TRUE(Session->WaitSpoken(From, Phrases, &Heard))
            << Row.Where << ": not said, in this order: \"" << Phrases.join(QStringLiteral("\", \"")).toStdString() << "\"\n  heard: "
            << Heard.toStdString();
        if (Row.Once) {
            Session->WaitQuiet();
            Heard = Session->Spoken().mid(From).join(u' ');
            for (const QString& Phrase : Phrases)
                EXPECT_EQ(Heard.count(Phrase), 1) << Row.Where << ": \"" << Phrase.toStdString() << "\"\n  heard: " << Heard.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(InTheSuitesLanguage, ScreenReaderTest, ::testing::Values("English", "German"));

// At a scale factor of 2 the logo is drawn from its picture made for that
// density: the screen matches the dense pictures, not the 1x ones blown up.
TEST_F(AccessibilityTest, AtScaleFactorTwoThePicturesAreNotBlownUp)
{
    QProcessEnvironment Env = Session->Environment();
    Env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    StartWindow(Env);
    TreeWith(QStringLiteral("label"), Caption, QStringLiteral("showing"));
    const QRect Window = Session->WindowGeometry(FWindow);
    ASSERT_EQ(Window.size(), QSize(1048, 700));
    const QImage Screen = Session->Screenshot().convertToFormat(QImage::Format_RGB32);
    Pictures::Register();
    ASSERT_FALSE(Screen.isNull());

    // The logo lies at 14, 11 on the banner, 48 x 48.
    const auto Expected = [](const char* Banner, const char* Logo, int Scale) {
        QImage Out = QImage(QStringLiteral(":/pictures/") + QLatin1String(Banner)).copy(14 * Scale, 11 * Scale, 48 * Scale, 48 * Scale);
        Out = Out.convertToFormat(QImage::Format_RGB32);
        QPainter P(&Out);
        P.drawImage(0, 0, QImage(QStringLiteral(":/pictures/") + QLatin1String(Logo)));
        P.end();
        return Scale == 2 ? Out : Out.scaled(96, 96, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    const QImage Shown = Screen.copy(Window.x() + 28, Window.y() + 22, 96, 96);
    const auto Distance = [&Shown](const QImage& Other) {
        double Sum = 0;
        for (int Y = 0; Y < 96; ++Y)
            for (int X = 0; X < 96; ++X) {
                const QRgb A = Shown.pixel(X, Y), B = Other.pixel(X, Y);
                Sum += std::abs(qRed(A) - qRed(B)) + std::abs(qGreen(A) - qGreen(B)) + std::abs(qBlue(A) - qBlue(B));
            }
        return Sum / (96.0 * 96 * 3);
    };
    const double ToDense = Distance(Expected("banner@2x.png", "logo@2x.png", 2));
    const double ToBlownUp = Distance(Expected("banner.png", "logo.png", 1));
    EXPECT_LT(ToDense, 2.0);
    EXPECT_LT(ToDense * 3, ToBlownUp) << ToDense << " " << ToBlownUp;
}

} // namespace
