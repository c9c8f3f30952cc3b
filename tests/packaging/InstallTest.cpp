#include "PackagingSupport.h"
#include "platform/TaskServiceLauncher.h"
#include "support/ProcessSweep.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImageReader>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <memory>

using namespace Packaging;

// Installs the build with "cmake --install" below a temporary DESTDIR, at the
// prefix it was configured for, and runs what was installed from there.
namespace {

const QString Prefix = QStringLiteral(LUMIDOR_INSTALL_PREFIX);

// Names of the files opened in one folder, as inotify reports them.
class TOpenWatch
{
public:
    explicit TOpenWatch(const QString& Folder)
        : FFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (FFd >= 0)
            FWatch = inotify_add_watch(FFd, QFile::encodeName(Folder).constData(), IN_OPEN);
    }
    ~TOpenWatch()
    {
        if (FFd >= 0)
            close(FFd);
    }
    bool Valid() const { return FFd >= 0 && FWatch >= 0; }

    // Waits until a file whose name ends with Suffix was opened.
    bool WaitForOpen(const QString& Suffix, int Ms)
    {
        QDeadlineTimer deadline(Ms);
        while (!deadline.hasExpired()) {
            for (const QString& name : FOpened)
                if (name.endsWith(Suffix))
                    return true;
            pollfd p{FFd, POLLIN, 0};
            if (poll(&p, 1, 100) > 0) {
                alignas(inotify_event) char buffer[4096];
                const ssize_t length = read(FFd, buffer, sizeof buffer);
                for (ssize_t at = 0; at < length;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                    if (event->len > 0)
                        FOpened << QFile::decodeName(event->name);
                    at += ssize_t(sizeof(inotify_event) + event->len);
                }
            }
        }
        return false;
    }

private:
    int FFd = -1;
    int FWatch = -1;
    QStringList FOpened;
};

// Processes of this user whose executable is Path.
QList<pid_t> ProcessesOf(const QString& Path)
{
    QList<pid_t> found;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (number && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() == Path)
            found << pid;
    }
    return found;
}

class InstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FRoot.isValid());
        FDestDir = FRoot.path() + "/stage";
        const TRun install = RunProgram(LUMIDOR_CMAKE, {"--install", BuildDir, "--prefix", Prefix}, {"DESTDIR=" + FDestDir});
        ASSERT_TRUE(Succeeded(install)) << install.Output.toStdString();
        FPrefixDir = FDestDir + Prefix;
    }

    void TearDown() override
    {
        // A started program's task service is detached and outlives it.
        EndStartedPrograms(FProcesses, FRoot.path());
    }

    // Where an entry of ExpectedFiles lies below the staging folder.
    QString Staged(const QString& Entry) const
    {
        return Entry.startsWith(QLatin1Char('/')) ? FDestDir + Entry : FPrefixDir + "/" + Entry;
    }

    QProcess* Start(const QString& Program, const QProcessEnvironment& Env)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(Env);
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->setProgram(Program);
        process->start();
        EXPECT_TRUE(process->waitForStarted(10000)) << Program.toStdString();
        FProcesses.push_back(std::move(process));
        return FProcesses.back().get();
    }

    // A user of our own: folders below the temporary root, nothing of the real one.
    QProcessEnvironment UserEnvironment()
    {
        const QString runtime = FRoot.path() + "/run";
        EXPECT_TRUE(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", FRoot.path() + "/home");
        env.insert("XDG_CONFIG_HOME", FRoot.path() + "/home/.config");
        env.insert("XDG_DATA_HOME", FRoot.path() + "/home/.local/share");
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.remove("LUMIDOR_TASK_STORE");
        env.insert("PATH", FPrefixDir + "/bin:" + env.value("PATH"));
        return env;
    }

    QTemporaryDir FRoot;
    QString FDestDir;
    QString FPrefixDir;
    std::vector<std::unique_ptr<QProcess>> FProcesses;
};

} // namespace

TEST_F(InstallTest, EveryPieceLiesInItsPlace)
{
    for (const QString& entry : ExpectedFiles(LUMIDOR_INSTALL_SYSCONFDIR))
        EXPECT_TRUE(QFileInfo(Staged(entry)).isFile()) << entry.toStdString();
    for (const char* program : {"bin/lumidor", "bin/lumidor-taskd", "bin/lumidorctl", "libexec/lumidor/Shutdown.exe"})
        EXPECT_TRUE(QFileInfo(Staged(QString::fromLatin1(program))).isExecutable()) << program;
    EXPECT_EQ(QDir(FPrefixDir + "/share/doc").entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"lumidor"});
    // The language folder lies in share/, never in bin/.
    EXPECT_FALSE(QFileInfo::exists(FPrefixDir + "/bin/Toolbox_Language"));
    for (int size : {48, 64, 128, 256}) {
        const QString icon = FPrefixDir + QStringLiteral("/share/icons/hicolor/%1x%1/apps/lumidor.png").arg(size);
        EXPECT_EQ(QImageReader(icon).size(), QSize(size, size)) << icon.toStdString();
    }
    // The unit is enabled for every user through a relative link.
    const QFileInfo wants(FPrefixDir + "/lib/systemd/user/default.target.wants/lumidor-taskd.service");
    EXPECT_TRUE(wants.isSymLink());
    char target[4096] = {};
    ASSERT_GT(readlink(QFile::encodeName(wants.filePath()).constData(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "../lumidor-taskd.service");
}

TEST_F(InstallTest, ServiceAndShutdownToolRunFromTheirInstalledPlaces)
{
    // The unit and the autostart entry start the installed service.
    const QString service = Prefix + "/bin/lumidor-taskd";
    EXPECT_EQ(KeyFileValue(FPrefixDir + "/lib/systemd/user/lumidor-taskd.service", "ExecStart").toStdString(),
              service.toStdString());
    EXPECT_EQ(KeyFileValue(FDestDir + LUMIDOR_INSTALL_SYSCONFDIR "/xdg/autostart/lumidor-taskd.desktop", "Exec").toStdString(),
              service.toStdString());
    const TRun help = RunProgram(FPrefixDir + "/bin/lumidor-taskd", {"--help"});
    EXPECT_TRUE(Succeeded(help)) << help.Output.toStdString();

    // GetSystemDir of a program in <prefix>/bin; only ever the dry run here.
    const QString tool = QDir::cleanPath(FPrefixDir + "/bin/../libexec/lumidor/Shutdown.exe");
    const TRun dryRun = RunProgram(tool, {"-s", "--dry-run"});
    EXPECT_TRUE(Succeeded(dryRun)) << dryRun.Output.toStdString();
    EXPECT_TRUE(dryRun.Output.contains("PowerOff b false")) << dryRun.Output.toStdString();
}

TEST_F(InstallTest, MenuEntryStartsTheProgramWhichFindsItsLanguagesAndItsService)
{
    const QString languages = FPrefixDir + "/share/lumidor/Toolbox_Language";
    TOpenWatch watch(languages);
    ASSERT_TRUE(watch.Valid());

    // Exec names the program; the menu finds it through PATH.
    const QString exec = KeyFileValue(FPrefixDir + "/share/applications/io.github.lumidor.Lumidor.desktop", "Exec");
    ASSERT_EQ(exec, "lumidor");
    const QProcessEnvironment env = UserEnvironment();
    const QString program = QStandardPaths::findExecutable(exec, {FPrefixDir + "/bin"});
    ASSERT_EQ(program, FPrefixDir + "/bin/lumidor");
    QProcess* lumidor = Start(program, env);

    EXPECT_TRUE(watch.WaitForOpen(".lng", 30000)) << "no language file read from " << languages.toStdString();

    const QString store = env.value("XDG_DATA_HOME") + "/lumidor/tasks";
    const QString installedService = FPrefixDir + "/bin/lumidor-taskd";
    QDeadlineTimer deadline(30000);
    while (!(TaskServiceRunning(store) && !ProcessesOf(installedService).isEmpty()) && !deadline.hasExpired())
        QThread::msleep(100);
    EXPECT_TRUE(TaskServiceRunning(store)) << "no task service on " << store.toStdString();
    EXPECT_FALSE(ProcessesOf(installedService).isEmpty()) << "the installed service does not run";

    EXPECT_EQ(lumidor->state(), QProcess::Running);
}

TEST_F(InstallTest, DesktopFilesPassTheirValidators)
{
    for (const QString& entry :
         {FPrefixDir + "/share/applications/io.github.lumidor.Lumidor.desktop",
          FDestDir + LUMIDOR_INSTALL_SYSCONFDIR "/xdg/autostart/lumidor-taskd.desktop"}) {
        const TRun check = RunProgram("desktop-file-validate", {entry});
        EXPECT_TRUE(Succeeded(check)) << entry.toStdString() << "\n" << check.Output.toStdString();
        // Hints and warnings count as faults too.
        EXPECT_EQ(check.Output.trimmed().toStdString(), "");
    }
    const QString metainfo = FPrefixDir + "/share/metainfo/io.github.lumidor.Lumidor.metainfo.xml";
    const TRun check = RunProgram("appstreamcli", {"validate", "--no-net", "--explain", metainfo});
    EXPECT_TRUE(Succeeded(check)) << check.Output.toStdString();

    // The metainfo launches the installed menu entry.
    QFile file(metainfo);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains("<launchable type=\"desktop-id\">io.github.lumidor.Lumidor.desktop</launchable>"));
    // Each screenshot is a picture of the repository at the size it declares.
    const QRegularExpression image(R"re(<image type="source" width="(\d+)" height="(\d+)">[^<]*/main/([^<]+)</image>)re");
    int images = 0;
    for (const QRegularExpressionMatch& m : image.globalMatch(text)) {
        ++images;
        const QString picture = SourceDir + "/" + m.captured(3);
        EXPECT_EQ(QImageReader(picture).size(), QSize(m.captured(1).toInt(), m.captured(2).toInt())) << picture.toStdString();
    }
    EXPECT_GE(images, 1);
}
