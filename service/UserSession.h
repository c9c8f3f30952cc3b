#pragma once

#include <QString>
#include <sys/types.h>

// Whether the user has a session now, for items that run only while their
// user is logged on: logind's view of the user when logind runs ("online" or
// "active": at least one session that is not closing), otherwise a
// USER_PROCESS entry of the user in utmp whose process is alive.
// UtmpFile set: that file alone is asked (tests, systems without logind).
bool UserHasSession(uid_t Uid, const QString& UserName, const QString& UtmpFile = QString());

// The utmp answer alone.
bool UserInUtmp(const QString& UserName, const QString& UtmpFile);
