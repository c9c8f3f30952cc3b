#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QSocketNotifier;

// Watches the store's folder (inotify) for items that appear, change or go,
// and /etc for a new time zone. Events are delivered in batches: one signal
// per read with every item name it touched.
class TFolderWatch : public QObject
{
    Q_OBJECT

public:
    explicit TFolderWatch(QObject* Parent = nullptr);
    ~TFolderWatch() override;

    bool WatchStore(const QString& Folder);
    // The folder that holds "localtime" and "timezone" (default /etc).
    bool WatchTimeZone(const QString& Folder = QStringLiteral("/etc"));

signals:
    // File names ending in ".job" (any letter case).
    void ItemsChanged(const QSet<QString>& FileNames);
    // Events were lost or the folder's own attributes changed: look at everything.
    void RescanNeeded();
    // The folder was deleted or moved away.
    void StoreGone();
    void TimeZoneChanged();

private:
    void Read();

    int FFd = -1;
    int FStoreWatch = -1;
    int FZoneWatch = -1;
    QSocketNotifier* FNotifier = nullptr;
};
