#pragma once

#include "platform/DateTime.h"

#include <QString>

class QLocale;

// The regional settings a date-time pattern is read with. The defaults are
// those of English (United States).
struct TFormatSettings
{
    QString ShortDateFormat = QStringLiteral("M/d/yyyy");
    QString ShortTimeFormat = QStringLiteral("h:mm AMPM");
    QString DateSeparator = QStringLiteral("/");
    QString TimeSeparator = QStringLiteral(":");
    QString TimeAMString = QStringLiteral("AM");
    QString TimePMString = QStringLiteral("PM");
};

// Pattern letters, in any case: y/yy two-digit year, yyy or more four digits;
// m/mm month, or minutes right after an hour letter; n/nn minutes; d/dd day;
// h/hh hour, 1 to 12 when the pattern holds AMPM, AM/PM or A/P; s/ss seconds.
// "/" and ":" are the settings' separators; text in ' or " is copied; longer
// runs of m, n, d, h and s count as two letters; anything else is copied.
QString FormatDateTime(const QString& Format, TDateTime Value, const TFormatSettings& Settings);
QString FormatDateTime(const QString& Format, TDateTime Value);

// Numbers in the day/month/year order of Settings.ShortDateFormat, split by
// DateSeparator, then optionally hours[:minutes[:seconds]] split by
// TimeSeparator with a morning or afternoon designator before or after.
bool TryStrToDateTime(const QString& Text, TDateTime& Out, const TFormatSettings& Settings);

// The locale's short formats turned into the pattern letters above; the C
// locale reads as English (United States).
TFormatSettings FormatSettingsFromLocale(const QLocale& Locale);

// The process-wide settings, read on first use from the locale that POSIX
// gives dates and times: LC_ALL, else LC_TIME, else LANG.
const TFormatSettings& FormatSettings();
// Read the user's locale again, as after a change of the regional settings.
void RefreshFormatSettings();
// Tests put their own settings in place.
void SetFormatSettings(const TFormatSettings& Settings);
