// Start-up to the first painted window: a new process that shows the wizard
// window (its whole creation: folders, registry, language scan, scheduler,
// job list) and ends at its first paint, against a Qt window of the same size
// that shows one line of text (it pays the font system's start, as every real
// program does) and against a bare, empty QWidget, all started in the same run.
// The children are this program itself, told by LUMIDOR_STARTUP_CHILD to
// start a window from inside the benchmark (after every static initialiser,
// as in the program) and end at its first paint.
#include "platform/ProcessList.h"
#include "platform/TaskServiceLauncher.h"
#include "platform/WorkItemStore.h"
#include "resources/fonts/Fonts.h"
#include "resources/pictures/Pictures.h"
#include "wizard/uMain.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Ends the process at the first paint of any widget.
class TFirstPaint : public QObject
{
public:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::Paint && Watched->isWidgetType()) {
            std::fputs("painted\n", stdout);
            std::fflush(stdout);
            std::_Exit(0);
        }
        return false;
    }
};

int RunChild(const char* Mode)
{
    static int Argc = 1;
    static char Name[] = "lumidor";
    static char* Argv[] = {Name, nullptr};
    QApplication App(Argc, Argv);
    TFirstPaint Watch;
    App.installEventFilter(&Watch);
    if (std::string(Mode) == "bare" || std::string(Mode) == "text") {
        QWidget* Window = new QWidget;
        Window->resize(524, 350);
        if (std::string(Mode) == "text")
            (new QLabel(QStringLiteral("Shut down this computer at a time of your choice."), Window))->move(16, 16);
        Window->show();
        return App.exec();
    }
    // The program's own start, less the single-instance guard.
    Pictures::Register();
    WorkItemStore::SetFolderForTesting(qEnvironmentVariable("LUMIDOR_STARTUP_STORE"));
    SetTaskServiceProgramForTesting(qEnvironmentVariable("LUMIDOR_STARTUP_STORE") + QStringLiteral("/no-service"));
    TApplication Application;
    Fonts::InstallSubstitutes();
    TfrmMain* Form = new TfrmMain();
    Form->Show();
    return App.exec();
}

double StartSeconds(const char* Mode, const QString& Home)
{
    QProcess Child;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert(QStringLiteral("LUMIDOR_STARTUP_CHILD"), QString::fromLatin1(Mode));
    Env.insert(QStringLiteral("LUMIDOR_STARTUP_STORE"), Home + QStringLiteral("/store"));
    Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const char* Name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_DIRS", "XDG_RUNTIME_DIR"})
        Env.insert(QString::fromLatin1(Name), Home + u'/' + QString::fromLatin1(Name));
    Child.setProcessEnvironment(Env);
    Child.setProgram(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
    Child.setStandardErrorFile(QProcess::nullDevice());
    const auto Start = std::chrono::steady_clock::now();
    Child.start();
    QByteArray Output;
    while (!Output.contains("painted")) {
        if (!Child.waitForReadyRead(30000)) {
            Child.kill();
            Child.waitForFinished();
            return -1;
        }
        Output += Child.readAll();
    }
    const auto Painted = std::chrono::steady_clock::now();
    Child.waitForFinished(10000);
    return std::chrono::duration<double>(Painted - Start).count();
}

void BM_StartupToFirstPaint(benchmark::State& State)
{
    if (const char* Mode = std::getenv("LUMIDOR_STARTUP_CHILD"))
        std::_Exit(RunChild(Mode));
    QTemporaryDir Home;
    QDir().mkpath(Home.filePath(QStringLiteral("XDG_RUNTIME_DIR")));
    ::chmod(QFile::encodeName(Home.filePath(QStringLiteral("XDG_RUNTIME_DIR"))).constData(), 0700);
    double Wizard = 0;
    double Text = 0;
    double Bare = 0;
    for (auto _ : State) {
        const double W = StartSeconds("wizard", Home.path());
        const double T = StartSeconds("text", Home.path());
        const double B = StartSeconds("bare", Home.path());
        if (W < 0 || T < 0 || B < 0) {
            State.SkipWithError("a child did not paint");
            break;
        }
        Wizard += W;
        Text += T;
        Bare += B;
        State.SetIterationTime(W);
    }
    if (State.iterations() > 0 && Text > 0 && Bare > 0) {
        State.counters["baseline_ms"] = Text * 1000 / double(State.iterations());
        State.counters["ratio"] = Wizard / Text;
        State.counters["bare_ms"] = Bare * 1000 / double(State.iterations());
        State.counters["ratio_bare"] = Wizard / Bare;
    }
}
BENCHMARK(BM_StartupToFirstPaint)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

} // namespace
