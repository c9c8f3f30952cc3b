#include "AtSpiSession.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include "ProcessSweep.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString BusLauncher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
const QString Python = QStringLiteral("/usr/bin/python3");
const QString TreeScript = QStringLiteral(LUMIDOR_SOURCE_DIR "/tests/support/atspi_tree.py");
const QString OrcaScript = QStringLiteral(LUMIDOR_SOURCE_DIR "/tests/support/orca_debug.py");
const QString DummyModule = QStringLiteral("/usr/lib/speech-dispatcher-modules/sd_dummy");

bool WaitFor(const std::function<bool()>& Done, int Ms)
{
    const QDeadlineTimer Deadline(Ms);
    while (!Done()) {
        if (Deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

// The first line a started program writes (an address, a display number).
QString FirstLine(QProcess* P, int Ms)
{
    QByteArray Out;
    WaitFor([&] {
        Out += P->readAllStandardOutput();
        return Out.contains('\n') || P->state() == QProcess::NotRunning;
    }, Ms);
    return QString::fromUtf8(Out.left(Out.indexOf('\n'))).trimmed();
}

// The text of one "SPEECH OUTPUT:" line of Orca's debug file, which may end
// in the voice's name and settings: "... - SPEECH OUTPUT: 'Close push
// button.' {'established': False}". Null for any other line.
QString Utterance(const QString& Line)
{
    static const QRegularExpression Said(QStringLiteral("SPEECH OUTPUT: '(.*)'(?: voice=\\S+)?(?: ?\\{.*\\})?$"));
    const QRegularExpressionMatch M = Said.match(Line);
    return M.hasMatch() ? M.captured(1) : QString();
}

} // namespace

TAtSpiSession::TAtSpiSession(const QString& Folder) : FFolder(Folder)
{
}

TAtSpiSession::~TAtSpiSession()
{
    // Orca first, while the display it restores its keyboard map on is up;
    // its runner ends it and reaps it, so that no Orca of this user is left
    // for the next test's to find.
    if (FScreenReader && FScreenReader->state() != QProcess::NotRunning) {
        FScreenReader->terminate();
        FScreenReader->waitForFinished(15000);
    }
    EndStartedPrograms(FStarted, FFolder);
    if (FTurn >= 0)
        ::close(FTurn);
}

QString TAtSpiSession::Missing()
{
    QStringList L;
    for (const char* Name : {"Xvfb", "dbus-daemon", "xdotool", "import"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(Name)).isEmpty())
            L << QString::fromLatin1(Name);
    if (!QFileInfo(BusLauncher).isExecutable())
        L << BusLauncher;
    if (!QFileInfo::exists(QStringLiteral("/usr/lib/python3/dist-packages/pyatspi/__init__.py")))
        L << QStringLiteral("python3-pyatspi");
    return L.join(QStringLiteral(", "));
}

QProcess* TAtSpiSession::Start(const QString& Program, const QStringList& Arguments, const QProcessEnvironment& Env)
{
    auto P = std::make_unique<QProcess>();
    P->setProcessEnvironment(Env);
    P->setProgram(Program);
    P->setArguments(Arguments);
    P->setStandardErrorFile(FFolder + QStringLiteral("/") + QFileInfo(Program).fileName() + QStringLiteral(".log"), QIODevice::Append);
    P->start();
    P->waitForStarted(5000);
    FStarted.push_back(std::move(P));
    return FStarted.back().get();
}

bool TAtSpiSession::Start(QString& Error, const QString& ScreenSize)
{
    // Two sessions at once lose their registries (the reader is told the
    // registry left the bus): tests in parallel take turns.
    FTurn = ::open(QFile::encodeName(QDir::tempPath() + QStringLiteral("/lumidor-atspi-tests.lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FTurn < 0 || ::flock(FTurn, LOCK_EX) != 0) {
        Error = QStringLiteral("cannot take the turn of the accessibility tests");
        return false;
    }
    for (const char* Sub : {"home", "run", "config", "data", "state"})
        if (!QDir().mkpath(FFolder + u'/' + QString::fromLatin1(Sub))) {
            Error = QStringLiteral("cannot make the session's folders");
            return false;
        }
    QFile::setPermissions(FFolder + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcessEnvironment Base = Environment();
    QProcess* Server = Start(QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
            QStringLiteral("0"), ScreenSize + QStringLiteral("x24")},
        Base);
    const QString Number = FirstLine(Server, 15000);
    if (Number.isEmpty()) {
        Error = QStringLiteral("Xvfb did not start");
        return false;
    }
    FDisplay = u':' + Number;

    QProcess* Bus = Start(QStringLiteral("dbus-daemon"),
        {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
            QStringLiteral("--address=unix:path=") + FFolder + QStringLiteral("/session-bus")},
        Base);
    FSessionAddress = FirstLine(Bus, 15000);
    if (FSessionAddress.isEmpty()) {
        Error = QStringLiteral("the session bus did not start");
        return false;
    }

    // The launcher starts the accessibility bus, and that bus the registry.
    Start(BusLauncher, {QStringLiteral("--launch-immediately")}, Environment());
    const QString Name = QStringLiteral("atspi-session-") + QFileInfo(FFolder).fileName();
    QString A11yAddress;
    {
        QDBusConnection Session = QDBusConnection::connectToBus(FSessionAddress, Name);
        WaitFor([&] {
            const QDBusMessage Reply = Session.call(QDBusMessage::createMethodCall(
                QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
            if (Reply.type() == QDBusMessage::ReplyMessage && !Reply.arguments().isEmpty())
                A11yAddress = Reply.arguments().first().toString();
            return !A11yAddress.isEmpty();
        }, 15000);
    }
    QDBusConnection::disconnectFromBus(Name);
    if (A11yAddress.isEmpty()) {
        Error = QStringLiteral("the accessibility bus did not come up");
        return false;
    }
    return true;
}

QProcessEnvironment TAtSpiSession::Environment() const
{
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    for (const char* Name : {"WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS", "LUMIDOR_TASK_STORE", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
             "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_ACCESSIBILITY", "NO_AT_BRIDGE", "SESSION_MANAGER"})
        Env.remove(QString::fromLatin1(Name));
    Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    Env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    Env.insert(QStringLiteral("DISPLAY"), FDisplay);
    Env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), FSessionAddress);
    Env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=") + FFolder + QStringLiteral("/no-system-bus"));
    Env.insert(QStringLiteral("HOME"), FFolder + QStringLiteral("/home"));
    Env.insert(QStringLiteral("XDG_RUNTIME_DIR"), FFolder + QStringLiteral("/run"));
    Env.insert(QStringLiteral("XDG_CONFIG_HOME"), FFolder + QStringLiteral("/config"));
    Env.insert(QStringLiteral("XDG_DATA_HOME"), FFolder + QStringLiteral("/data"));
    Env.insert(QStringLiteral("XDG_STATE_HOME"), FFolder + QStringLiteral("/state"));
    return Env;
}

QProcess* TAtSpiSession::StartProgram(const QString& Program, const QProcessEnvironment& Env)
{
    return Start(Program, {}, Env);
}

bool TAtSpiSession::Run(const QString& Program, const QStringList& Arguments, QByteArray* Output, int Ms, QByteArray* Errors) const
{
    QProcess P;
    P.setProcessEnvironment(Environment());
    P.start(Program, Arguments);
    if (!P.waitForFinished(Ms)) {
        P.kill();
        P.waitForFinished(1000);
        return false;
    }
    if (Output)
        *Output = P.readAllStandardOutput();
    if (Errors)
        *Errors = P.readAllStandardError();
    return P.exitStatus() == QProcess::NormalExit && P.exitCode() == 0;
}

QJsonArray TAtSpiSession::Tree(const QString& AppName, QString& Error) const
{
    QByteArray Out, Err;
    if (!Run(Python, {TreeScript, AppName, QStringLiteral("10")}, &Out, 30000, &Err)) {
        Error = QStringLiteral("no tree of %1 was read: %2").arg(AppName, QString::fromUtf8(Err.right(600)));
        return {};
    }
    QJsonParseError Parse;
    const QJsonDocument Doc = QJsonDocument::fromJson(Out, &Parse);
    if (!Doc.isArray())
        Error = Parse.errorString();
    return Doc.array();
}

QJsonArray TAtSpiSession::TreeWhen(const QString& AppName, const std::function<bool(const QJsonArray&)>& Done, int Ms, QString* Error) const
{
    const QDeadlineTimer Deadline(Ms);
    QJsonArray T;
    do {
        QString Failure;
        T = Tree(AppName, Failure);
        if (Error)
            *Error = Failure;
        if (Done(T))
            break;
        QThread::msleep(100);
    } while (!Deadline.hasExpired());
    return T;
}

QProcess* TAtSpiSession::ListenToNameChanges(const QString& AppName, int Seconds)
{
    QProcess* P = Start(Python, {TreeScript, QStringLiteral("--names"), AppName, QString::number(Seconds)}, Environment());
    WaitFor([P] { return P->canReadLine() || P->state() == QProcess::NotRunning; }, 15000);
    (void)P->readLine();
    return P;
}

QString TAtSpiSession::FindWindow(const QString& Title, int Ms) const
{
    QByteArray Out;
    const QDeadlineTimer Deadline(Ms);
    while (!Run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), u'^' + QRegularExpression::escape(Title) + u'$'}, &Out)
        || Out.trimmed().isEmpty()) {
        if (Deadline.hasExpired())
            return {};
        QThread::msleep(100);
    }
    return QString::fromLatin1(Out.trimmed().split('\n').first());
}

bool TAtSpiSession::FocusWindow(const QString& Window) const
{
    return Run(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), Window});
}

QRect TAtSpiSession::WindowGeometry(const QString& Window) const
{
    QByteArray Out;
    if (!Run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), Window}, &Out))
        return {};
    QMap<QString, int> V;
    for (const QByteArray& Line : Out.split('\n'))
        if (const int Eq = Line.indexOf('='); Eq > 0)
            V[QString::fromLatin1(Line.left(Eq))] = Line.mid(Eq + 1).toInt();
    return QRect(V.value(QStringLiteral("X")), V.value(QStringLiteral("Y")), V.value(QStringLiteral("WIDTH")), V.value(QStringLiteral("HEIGHT")));
}

bool TAtSpiSession::Keys(const QStringList& Keys) const
{
    return Run(QStringLiteral("xdotool"), QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("150")} + Keys);
}

QImage TAtSpiSession::Screenshot() const
{
    QByteArray Out;
    if (!Run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")}, &Out))
        return {};
    return QImage::fromData(Out, "PNG");
}

QList<QJsonObject> NodesOf(const QJsonArray& Tree, const QString& Role, const QString& Name)
{
    const bool Prefix = Name.endsWith(u'*');
    const QString Wanted = Prefix ? Name.chopped(1) : Name;
    QList<QJsonObject> L;
    for (const QJsonValue& V : Tree) {
        const QJsonObject N = V.toObject();
        const QString Got = N.value(QStringLiteral("name")).toString();
        if (N.value(QStringLiteral("role")).toString() == Role && (Prefix ? Got.startsWith(Wanted) : Got == Wanted))
            L << N;
    }
    return L;
}

bool HasState(const QJsonObject& Node, const QString& State)
{
    return Node.value(QStringLiteral("states")).toArray().contains(State);
}

QString TAtSpiSession::MissingScreenReader()
{
    QStringList L;
    for (const char* Name : {"orca", "speech-dispatcher"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(Name)).isEmpty())
            L << QString::fromLatin1(Name);
    if (!QFileInfo(DummyModule).isExecutable())
        L << DummyModule;
    return L.join(QStringLiteral(", "));
}

bool TAtSpiSession::OtherOrcaRuns(int Ms)
{
    // Orca names its process "orca", as its own check for another one finds
    // it; one that a test is ending is gone within moments.
    const auto Runs = [] {
        for (const QString& Entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile Comm(QStringLiteral("/proc/%1/comm").arg(Entry));
            if (QFileInfo(Comm.fileName()).ownerId() == ::geteuid() && Comm.open(QIODevice::ReadOnly) && Comm.readAll().trimmed() == "orca")
                return true;
        }
        return false;
    };
    return !WaitFor([&] { return !Runs(); }, Ms);
}

bool TAtSpiSession::StartScreenReader(QString& Error)
{
    // The dummy module plays its sound through libao, and libao to nowhere.
    const QString Config = FFolder + QStringLiteral("/speech-dispatcher");
    QFile Settings(Config + QStringLiteral("/speechd.conf"));
    QFile Sound(FFolder + QStringLiteral("/home/.libao"));
    if (!QDir().mkpath(Config) || !Settings.open(QIODevice::WriteOnly) || !Sound.open(QIODevice::WriteOnly)) {
        Error = QStringLiteral("cannot write the settings of speech-dispatcher");
        return false;
    }
    Settings.write("AddModule \"dummy\" \"sd_dummy\" \"\"\nDefaultModule dummy\nAudioOutputMethod \"libao\"\n");
    Sound.write("default_driver=null\n");
    Settings.close();
    Sound.close();

    const QProcessEnvironment Env = Environment();
    QProcess* Speech = Start(QStringLiteral("speech-dispatcher"),
        {QStringLiteral("-s"), QStringLiteral("-t"), QStringLiteral("0"), QStringLiteral("-C"), Config, QStringLiteral("-L"), FFolder}, Env);
    // Orca finds it at its socket below the runtime folder.
    const QString Socket = FFolder + QStringLiteral("/run/speech-dispatcher/speechd.sock");
    if (!WaitFor([&] { return QFileInfo::exists(Socket) || Speech->state() == QProcess::NotRunning; }, 15000) || !QFileInfo::exists(Socket)) {
        Error = QStringLiteral("speech-dispatcher did not start; see speech-dispatcher.log in ") + FFolder;
        return false;
    }

    FDebugFile = FFolder + QStringLiteral("/orca-debug.txt");
    FScreenReader = Start(Python, {OrcaScript, FDebugFile}, Env);
    // Orca says that it is on once it listens.
    if (!WaitFor([&] { return !Spoken().isEmpty() || FScreenReader->state() == QProcess::NotRunning; }, 60000) || Spoken().isEmpty()) {
        Error = QStringLiteral("Orca did not start; see python3.log and orca-debug.txt in ") + FFolder;
        return false;
    }
    return true;
}

QStringList TAtSpiSession::Spoken() const
{
    QFile F(FDebugFile);
    if (FDebugFile.isEmpty() || !F.open(QIODevice::ReadOnly) || !F.seek(FDebugRead))
        return FSpoken;
    const QByteArray New = F.readAll();
    FDebugRead += New.size();
    FDebugLine += New;
    qsizetype Begin = 0;
    for (qsizetype End; (End = FDebugLine.indexOf('\n', Begin)) >= 0; Begin = End + 1) {
        const QByteArray Line = FDebugLine.mid(Begin, End - Begin);
        // Most of the file is Orca's account of events, skipped unread.
        if (!Line.contains("SPEECH OUTPUT: '"))
            continue;
        if (const QString Said = Utterance(QString::fromUtf8(Line)); !Said.isNull())
            FSpoken << Said;
    }
    FDebugLine.remove(0, Begin);
    return FSpoken;
}

bool TAtSpiSession::WaitSpoken(qsizetype From, const QStringList& Phrases, QString* Heard, int Ms) const
{
    QString Text;
    const bool Found = WaitFor([&] {
        Text = Spoken().mid(From).join(u' ');
        qsizetype At = 0;
        for (const QString& Phrase : Phrases) {
            At = Text.indexOf(Phrase, At);
            if (At < 0)
                return false;
            At += Phrase.size();
        }
        return true;
    }, Ms);
    if (Heard)
        *Heard = Text;
    return Found;
}

void TAtSpiSession::WaitQuiet(int QuietMs, int Ms) const
{
    qsizetype Count = Spoken().size();
    QDeadlineTimer Quiet(QuietMs);
    WaitFor([&] {
        if (const qsizetype Now = Spoken().size(); Now != Count) {
            Count = Now;
            Quiet.setRemainingTime(QuietMs);
        }
        return Quiet.hasExpired();
    }, Ms);
}
