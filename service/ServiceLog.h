#pragma once

#include <QString>
#include <functional>

// The task service's log: one line per event on standard error, which the
// journal (or the desktop session's log) collects.
namespace ServiceLog {

void Write(const QString& Line);

// Tests collect the lines; an empty function restores standard error.
void SetSinkForTesting(std::function<void(const QString&)> Sink);

} // namespace ServiceLog
