// measures: lumidor_platform
// 50 "lumidorctl add" one after another, as a shell loop runs them, against
// 50 "lumidorctl --version" (the same program started and ended, doing
// nothing) in the same run. The task service runs on the store throughout.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

namespace {

constexpr int Adds = 50;

QCoreApplication& App()
{
    static int Argc = 1;
    static char Name[] = "bench";
    static char* Argv[] = {Name, nullptr};
    static QCoreApplication Instance(Argc, Argv);
    return Instance;
}

QString Beside(const char* Program)
{
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath() + u'/'
        + QLatin1String(Program);
}

// A home, a store and a task service of their own.
class TUser
{
public:
    TUser()
    {
        Env.insert("HOME", Home.path());
        for (const char* Name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            Env.insert(Name, Home.filePath(QLatin1String(Name)));
        Env.insert("LUMIDOR_TASK_STORE", Home.filePath("store"));
        Env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + Home.filePath("no-bus"));
        Env.insert("LC_ALL", "C");
        Service.setProcessEnvironment(Env);
        Service.setStandardOutputFile(QProcess::nullDevice());
        Service.setStandardErrorFile(QProcess::nullDevice());
        Service.start(Beside("lumidor-taskd"), {"--store", Home.filePath("store")});
        Service.waitForStarted();
    }
    ~TUser()
    {
        Service.terminate();
        Service.waitForFinished();
    }
    bool Run(const QStringList& Args)
    {
        QProcess Ctl;
        Ctl.setProcessEnvironment(Env);
        Ctl.setStandardOutputFile(QProcess::nullDevice());
        Ctl.start(Beside("lumidorctl"), Args);
        return Ctl.waitForFinished() && Ctl.exitCode() == 0;
    }

private:
    QTemporaryDir Home;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    QProcess Service;
};

// Times Step for each of the 50 runs, on a user of its own each time.
void Loop(benchmark::State& State, const std::function<bool(TUser&, int)>& Step)
{
    App();
    for (auto _ : State) {
        State.PauseTiming();
        auto User = std::make_unique<TUser>();
        State.ResumeTiming();
        for (int I = 0; I < Adds; ++I)
            if (!Step(*User, I)) {
                State.SkipWithError("a run failed");
                return;
            }
        State.PauseTiming();
        User.reset();
        State.ResumeTiming();
    }
}

void BM_Add50InALoop(benchmark::State& State)
{
    Loop(State, [](TUser& User, int I) {
        return User.Run({"add", I % 2 ? "restart" : "shutdown",
            QStringLiteral("2099-01-%1 10:00").arg(1 + I / 2, 2, 10, QChar(u'0'))});
    });
}
BENCHMARK(BM_Add50InALoop)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Version50InALoop(benchmark::State& State)
{
    Loop(State, [](TUser& User, int) { return User.Run({"--version"}); });
}
BENCHMARK(BM_Version50InALoop)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
