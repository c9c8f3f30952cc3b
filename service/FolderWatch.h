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

    // LockName: the service's lock file in the folder; its removal counts as
    // the store's, since the lock means nothing once its file is gone (an
    // open file keeps a removed folder from reporting its own removal).
    bool WatchStore(const QString& Folder, const QString& LockName);
    // The folder that holds "localtime" and "timezone" (default /etc).
    bool WatchTimeZone(const QString& Folder = QStringLiteral("/etc"));

signals:
    // File names ending in ".job" (any letter case).
    void ItemsChanged(const QSet<QString>& FileNames);
    // Events were lost or the folder's own attributes changed: look at everything.
    void RescanNeeded();
    // The folder or the lock file was deleted or moved away.
    void StoreGone();
    void TimeZoneChanged();

private:
    void Read();

    QString FLockName;
    int FFd = -1;
    int FStoreWatch = -1;
    int FZoneWatch = -1;
    QSocketNotifier* FNotifier = nullptr;
};
