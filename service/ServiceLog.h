#pragma once

#include <QString>

// The task service's log: one line per event on standard error, which the
// journal (or the desktop session's log) collects.
namespace ServiceLog {

void Write(const QString& Line);

} // namespace ServiceLog
