#include "service/HeadsUp.h"

#include "platform/AppFrame_New.h"
#include "platform/AsciiText.h"
#include "platform/DesktopNotifications.h"
#include "platform/ProfileStrings.h"
#include "platform/RunTimeTexts.h"
#include "platform/ShutdownArguments.h"
#include "service/CommandLine.h"
#include "service/ServiceLog.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <climits>

namespace {

const QString SkipAction = QStringLiteral("skip");

} // namespace

THeadsUpAction HeadsUpActionOf(const TWorkItem& Item)
{
    const QString Program = Item.Application.mid(Item.Application.lastIndexOf(QLatin1Char('/')) + 1);
    if (!AsciiText::SameText(Program, ShutdownProgramName))
        return THeadsUpAction::None;
    // The tool's own reading: what it would refuse, or "-a", gets no heads-up.
    TShutdownOptions Options;
    QString Error;
    if (!ParseShutdownArguments(SplitCommandLine(Item.Parameters), Options, Error) || Options.Help)
        return THeadsUpAction::None;
    switch (Options.Action) {
    case TShutdownAction::PowerOff:
        return THeadsUpAction::Shutdown;
    case TShutdownAction::Reboot:
        return THeadsUpAction::Restart;
    case TShutdownAction::Abort:
    case TShutdownAction::None:
        break;
    }
    return THeadsUpAction::None;
}

THeadsUpText HeadsUpTextFor(THeadsUpAction Action, qint64 Due)
{
    // Read at every heads-up, so that a change of the suite's language counts.
    const TRunTimeTexts Texts = TRunTimeTexts::ForSuite();
    const QString Time = ShortTimeText(QDateTime::fromSecsSinceEpoch(Due));
    THeadsUpText Text;
    Text.Summary = (Action == THeadsUpAction::Restart
            ? Texts.Text(QStringLiteral("HeadsUp_Restart"), QStringLiteral("The computer restarts at %1"))
            : Texts.Text(QStringLiteral("HeadsUp_Shutdown"), QStringLiteral("The computer shuts down at %1")))
                       .arg(Time);
    Text.Body = Texts.Text(QStringLiteral("HeadsUp_Body"), QStringLiteral("Save your work. Lumidor does this as you scheduled it."));
    Text.Skip = Texts.Text(QStringLiteral("HeadsUp_Skip"), QStringLiteral("Skip this time"));
    return Text;
}

QString HeadsUpSettingsFile()
{
    return TAppFrame().AppDataPath + QStringLiteral("/lumidor/lumidor-taskd.ini");
}

qint64 HeadsUpLeadSeconds()
{
    const QString Value = ProfileStrings::GetString(HeadsUpSettingsFile(), QStringLiteral("HeadsUp"),
        QStringLiteral("LeadSeconds"));
    bool Ok = false;
    const qint64 Seconds = Value.toLongLong(&Ok);
    if (!Ok)
        return DefaultLeadSeconds;
    return Seconds > 0 ? Seconds : 0;
}

TDesktopNotices::TDesktopNotices(QObject* Parent)
    : QObject(Parent)
{
}

bool TDesktopNotices::Connected()
{
    QDBusConnection Bus = QDBusConnection::sessionBus();
    if (!Bus.isConnected())
        return false;
    if (!FSignalsConnected) {
        using namespace DesktopNotifications;
        FSignalsConnected
            = Bus.connect(Service, Path, Interface, ActionInvokedSignal, this, SLOT(ActionInvoked(uint, QString)))
            && Bus.connect(Service, Path, Interface, ClosedSignal, this, SLOT(NotificationClosed(uint, uint)));
    }
    return FSignalsConnected;
}

void TDesktopNotices::Show(const QString& Key, qint64 Due, const THeadsUpText& Text, qint64 ExpireMs)
{
    if (!Connected()) {
        ServiceLog::Write(QStringLiteral("%1: no session bus, no heads-up").arg(Key));
        return;
    }
    const auto Old = FNotices.find(Key);
    const uint Replaces = Old != FNotices.end() ? Old->second.Id : 0;
    FNotices[Key] = TNotice{Due, Replaces, false};

    DesktopNotifications::TNotification HeadsUp;
    HeadsUp.ReplacesId = Replaces;
    HeadsUp.Summary = Text.Summary;
    HeadsUp.Body = Text.Body;
    HeadsUp.Actions = QStringList{SkipAction, Text.Skip};
    HeadsUp.DesktopEntry = QStringLiteral("io.github.lumidor.Lumidor");
    HeadsUp.ExpireMs = int(std::clamp<qint64>(ExpireMs, 1000, INT_MAX));
    auto* Watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(DesktopNotifications::NotifyMessage(HeadsUp)), this);
    connect(Watcher, &QDBusPendingCallWatcher::finished, this, [this, Watcher, Key, Due] {
        Watcher->deleteLater();
        const QDBusPendingReply<uint> Reply = *Watcher;
        const auto It = FNotices.find(Key);
        if (Reply.isError()) {
            ServiceLog::Write(QStringLiteral("%1: the heads-up could not be shown: %2").arg(Key, Reply.error().message()));
            if (It != FNotices.end() && It->second.Due == Due)
                FNotices.erase(It);
            return;
        }
        if (It == FNotices.end() || It->second.Due != Due)
            return;
        It->second.Id = Reply.value();
        if (It->second.CloseWhenShown)
            Close(Key);
    });
}

void TDesktopNotices::Close(const QString& Key)
{
    const auto It = FNotices.find(Key);
    if (It == FNotices.end())
        return;
    if (!It->second.Id) {
        It->second.CloseWhenShown = true;
        return;
    }
    (void)QDBusConnection::sessionBus().send(DesktopNotifications::CloseMessage(It->second.Id));
    FNotices.erase(It);
}

qint64 TDesktopNotices::ShownFor(const QString& Key) const
{
    const auto It = FNotices.find(Key);
    return It != FNotices.end() ? It->second.Due : 0;
}

QStringList TDesktopNotices::Keys() const
{
    QStringList Out;
    for (const auto& [Key, Notice] : FNotices)
        Out += Key;
    return Out;
}

void TDesktopNotices::ActionInvoked(uint Id, const QString& Action)
{
    for (const auto& [Key, Notice] : FNotices)
        if (Notice.Id == Id && Id != 0) {
            // Copies: the receiver may close the notice.
            const QString Chosen = Key;
            const qint64 Due = Notice.Due;
            if (Action == SkipAction)
                emit SkipChosen(Chosen, Due);
            return;
        }
}

void TDesktopNotices::NotificationClosed(uint Id, uint)
{
    for (auto It = FNotices.begin(); It != FNotices.end(); ++It)
        if (It->second.Id == Id && Id != 0) {
            FNotices.erase(It);
            return;
        }
}
