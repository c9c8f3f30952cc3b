#pragma once

// What the parts of the task service (service/TaskService*.cpp) share; no
// other unit includes this.

#include "platform/WorkItemStore.h"

#include <QDateTime>
#include <QString>

namespace TaskServiceCommon {

inline qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// Whole seconds at or before Ms, also before the epoch.
inline qint64 Seconds(qint64 Ms)
{
    return Ms >= 0 ? Ms / 1000 : -((-Ms + 999) / 1000);
}

inline bool DeleteWhenDone(const TWorkItem& Item)
{
    return Item.Flags & WorkItem::FlagDeleteWhenDone;
}

// A store result as the log says it.
QString ResultText(TStoreResult Result);

} // namespace TaskServiceCommon
