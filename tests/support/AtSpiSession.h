#pragma once

// An X server (Xvfb), a private session bus, and the accessibility bus that
// at-spi2-core's launcher starts beside it (with the registry), all with
// their files in the test's folder. A program started with Environment()
// shows its windows on that server and publishes its accessible tree on that
// bus, as for a user of a screen reader; Tree() reads it with pyatspi, as a
// screen reader does, and Keys() types as a person at the keyboard. With
// StartScreenReader() a real Orca listens, and Spoken() is what it says.
// Nothing here talks to the machine's own buses, display or sound.

#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class TAtSpiSession
{
public:
    // Folder: the test's temporary folder; also the home of what it starts.
    explicit TAtSpiSession(const QString& Folder);
    // Ends everything it started, and whatever those left carrying Folder.
    ~TAtSpiSession();
    TAtSpiSession(const TAtSpiSession&) = delete;
    TAtSpiSession& operator=(const TAtSpiSession&) = delete;

    // The programs the session needs that are not installed, or empty.
    static QString Missing();

    // Starts the server (of ScreenSize) and both buses; false with Error
    // when one does not come up.
    bool Start(QString& Error, const QString& ScreenSize = QStringLiteral("1600x1200"));

    // The display, both buses (the system bus at a socket where nothing
    // listens), Qt on X11 with its accessibility on, and the XDG folders in
    // Folder.
    QProcessEnvironment Environment() const;
    // Starts Program; the session ends it.
    QProcess* StartProgram(const QString& Program, const QProcessEnvironment& Env);

    // The nodes of the tree of the application AppName, depth first, once it
    // shows a window: path, role, name, states, rect, relations.
    QJsonArray Tree(const QString& AppName, QString& Error) const;
    // Reads the tree until Done holds for it, or Ms pass; the last tree read
    // (and why it could not be read).
    QJsonArray TreeWhen(const QString& AppName, const std::function<bool(const QJsonArray&)>& Done, int Ms = 15000, QString* Error = nullptr) const;

    // Starts listening, for Seconds, to the name changes of AppName's nodes
    // that a screen reader announces; the process prints one JSON object a
    // line. Returns once it listens.
    QProcess* ListenToNameChanges(const QString& AppName, int Seconds);

    // The X window of the top-level window named Title, or empty.
    QString FindWindow(const QString& Title, int Ms = 15000) const;
    // Gives the window the keyboard focus, as a window manager does when
    // the window is clicked or a dialog over it closes.
    bool FocusWindow(const QString& Window) const;
    // Its position and size on the screen, in the screen's pixels.
    QRect WindowGeometry(const QString& Window) const;
    // Presses and releases the keys (xdotool's names: "Tab", "Return",
    // "space", "Down", "shift+Tab") on the focused window, one after another.
    bool Keys(const QStringList& Keys) const;
    // The whole screen.
    QImage Screenshot() const;

    // What the screen reader needs and is not installed (Orca,
    // speech-dispatcher and its dummy output module), or empty.
    static QString MissingScreenReader();
    // Whether an Orca of this user still runs after Ms: Orca will not start
    // beside it, and a test never replaces a person's screen reader.
    static bool OtherOrcaRuns(int Ms = 10000);
    // Starts speech-dispatcher with its dummy output module, whose sound goes
    // to libao's null device (nothing is heard), then Orca, both on the
    // session's display and buses with their settings in Folder; returns
    // once Orca speaks. False with Error when one does not come up.
    bool StartScreenReader(QString& Error);
    // What Orca said so far, an utterance each: the "SPEECH OUTPUT:" lines of
    // its debug file.
    QStringList Spoken() const;
    // Waits until the utterances after the first From say each of Phrases,
    // in this order; Heard gets them, joined by blanks.
    bool WaitSpoken(qsizetype From, const QStringList& Phrases, QString* Heard = nullptr, int Ms = 20000) const;
    // Waits until Orca has said nothing new for QuietMs, at most Ms.
    void WaitQuiet(int QuietMs = 1200, int Ms = 15000) const;

private:
    bool Run(const QString& Program, const QStringList& Arguments, QByteArray* Output = nullptr, int Ms = 15000, QByteArray* Errors = nullptr) const;
    QProcess* Start(const QString& Program, const QStringList& Arguments, const QProcessEnvironment& Env);

    QString FFolder;
    QString FDisplay;
    QString FSessionAddress;
    std::vector<std::unique_ptr<QProcess>> FStarted;
    int FTurn = -1;
    QProcess* FScreenReader = nullptr;
    QString FDebugFile;
    // Orca's debug file as read so far, and its utterances.
    mutable qint64 FDebugRead = 0;
    mutable QByteArray FDebugLine;
    mutable QStringList FSpoken;
};

// Nodes of a tree with that role and name (a name ending in "*" matches as
// a prefix).
QList<QJsonObject> NodesOf(const QJsonArray& Tree, const QString& Role, const QString& Name);
bool HasState(const QJsonObject& Node, const QString& State);
