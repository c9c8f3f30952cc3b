#pragma once

#include "platform/WorkItemStore.h"

#include <QObject>
#include <QString>

#include <map>

// The warning a while before a run of the shutdown tool, with the one
// choice "Skip this time". It never moves the run: only a skip does.

enum class THeadsUpAction { None, Shutdown, Restart };

// What the item asks of the shutdown tool: "-s" or "-r" (or "/s", "/r", in
// any letter case, as the tool reads them) given to a program named
// Shutdown.exe; anything else, "-a" among them, gets no heads-up.
THeadsUpAction HeadsUpActionOf(const TWorkItem& Item);

struct THeadsUpText
{
    QString Summary;
    QString Body;
    QString Skip;
};

// In the suite's language, the time of the run in the locale's short time format.
THeadsUpText HeadsUpTextFor(THeadsUpAction Action, qint64 Due);

// Seconds of warning before a run: [HeadsUp] LeadSeconds in
// $XDG_CONFIG_HOME/lumidor/lumidor-taskd.ini; DefaultLeadSeconds without a
// valid value, 0 (no heads-up) for 0 or less.
constexpr qint64 DefaultLeadSeconds = 300;
QString HeadsUpSettingsFile();
qint64 HeadsUpLeadSeconds();

// The heads-ups on the desktop's notification server
// (org.freedesktop.Notifications on the session bus). Calls never wait for
// the server: a slow or missing one cannot hold up a run.
class TDesktopNotices : public QObject
{
    Q_OBJECT

public:
    explicit TDesktopNotices(QObject* Parent = nullptr);

    // Shows the heads-up for Key's run at Due, replacing one shown for Key
    // before; it expires by itself after ExpireMs.
    void Show(const QString& Key, qint64 Due, const THeadsUpText& Text, qint64 ExpireMs);
    void Close(const QString& Key);
    // The run of Key that a shown heads-up names; 0 when none is shown.
    qint64 ShownFor(const QString& Key) const;
    QStringList Keys() const;

signals:
    // The user chose "Skip this time" on the heads-up for Key's run at Due.
    void SkipChosen(const QString& Key, qint64 Due);

private slots:
    void ActionInvoked(uint Id, const QString& Action);
    void NotificationClosed(uint Id, uint Reason);

private:
    struct TNotice
    {
        qint64 Due = 0;
        uint Id = 0;
        // Closed before the server told its id: closed once it does.
        bool CloseWhenShown = false;
    };
    bool Connected();

    std::map<QString, TNotice> FNotices;
    bool FSignalsConnected = false;
};
