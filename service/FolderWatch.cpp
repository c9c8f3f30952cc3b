#include "service/FolderWatch.h"

#include "platform/WorkItemStore.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr uint32_t StoreEvents = IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ATTRIB
    | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
constexpr uint32_t ZoneEvents = IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE | IN_ONLYDIR;

} // namespace

TFolderWatch::TFolderWatch(QObject* Parent)
    : QObject(Parent)
{
    FFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (FFd < 0)
        return;
    FNotifier = new QSocketNotifier(FFd, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TFolderWatch::Read);
}

TFolderWatch::~TFolderWatch()
{
    if (FFd >= 0)
        ::close(FFd);
}

bool TFolderWatch::WatchStore(const QString& Folder, const QString& LockName)
{
    FLockName = LockName;
    if (FFd < 0)
        return false;
    FStoreWatch = ::inotify_add_watch(FFd, QFile::encodeName(Folder).constData(), StoreEvents);
    return FStoreWatch >= 0;
}

bool TFolderWatch::WatchTimeZone(const QString& Folder)
{
    if (FFd < 0)
        return false;
    FZoneWatch = ::inotify_add_watch(FFd, QFile::encodeName(Folder).constData(), ZoneEvents);
    return FZoneWatch >= 0;
}

void TFolderWatch::Read()
{
    alignas(inotify_event) char Buffer[16384];
    QSet<QString> Items;
    bool Rescan = false;
    bool Gone = false;
    bool Zone = false;
    for (;;) {
        const ssize_t Got = ::read(FFd, Buffer, sizeof Buffer);
        if (Got <= 0)
            break;
        for (ssize_t Offset = 0; Offset < Got;) {
            const auto* Event = reinterpret_cast<const inotify_event*>(Buffer + Offset);
            Offset += ssize_t(sizeof(inotify_event) + Event->len);
            const QString Name = Event->len ? QFile::decodeName(Event->name) : QString();
            if (Event->mask & IN_Q_OVERFLOW) {
                Rescan = true;
            } else if (Event->wd == FStoreWatch) {
                if (Event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))
                    Gone = true;
                else if (Name == FLockName && (Event->mask & (IN_DELETE | IN_MOVED_FROM)))
                    Gone = true;
                else if (Name.isEmpty())
                    Rescan = true; // the folder's own mode or owner
                else if (WorkItemStore::HasJobExtension(Name))
                    Items.insert(Name);
            } else if (Event->wd == FZoneWatch) {
                if (Name == QLatin1String("localtime") || Name == QLatin1String("timezone"))
                    Zone = true;
            }
        }
    }
    if (Gone) {
        emit StoreGone();
        return;
    }
    if (Zone)
        emit TimeZoneChanged();
    if (Rescan)
        emit RescanNeeded();
    else if (!Items.isEmpty())
        emit ItemsChanged(Items);
}
