// links: lumidor_platform
// The date-time pattern formatter and parser on any pattern, any text, any
// value and any regional settings; and the short formats of real locales read
// back what they wrote.
#include "FuzzSupport.h"
#include "platform/DateFormat.h"

#include <QLocale>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

const std::vector<TFormatSettings>& LocaleSettings()
{
    static const std::vector<TFormatSettings> Settings = [] {
        std::vector<TFormatSettings> Out{TFormatSettings()};
        for (const char* Name : {"en_US", "en_GB", "de_DE", "fr_FR", "ja_JP", "zh_CN", "ru_RU", "pl_PL", "pt_BR", "it_IT", "es_ES", "ko_KR", "ar_EG", "hu_HU"})
            Out.push_back(FormatSettingsFromLocale(QLocale(QString::fromLatin1(Name))));
        return Out;
    }();
    return Settings;
}

double ValueFrom(Fuzz::TInput& In)
{
    uint64_t Bits = 0;
    for (int I = 0; I < 8; ++I)
        Bits = Bits << 8 | In.Byte();
    double Value = 0;
    std::memcpy(&Value, &Bits, sizeof Value);
    return Value;
}

// Formats Value with the short formats and parses the text back: a moment
// that formats to the same text, for every year the formats write with four
// digits. (Between -1 and 0 the day is 1899-12-30 as for the positive
// fraction, so the moment itself may come back with the other sign.)
void CheckRoundTrip(const TFormatSettings& Settings, double Value)
{
    if (!Settings.ShortDateFormat.contains(QStringLiteral("yyyy"), Qt::CaseInsensitive))
        return;
    // Years 100 to 9999, far enough from the end that no rounding reaches 10000.
    if (!std::isfinite(Value) || Value < -657434.0 || Value >= 2958465.5)
        return;
    const QString Format = Settings.ShortDateFormat + u' ' + Settings.ShortTimeFormat;
    const QString Text = FormatDateTime(Format, Value, Settings);
    TDateTime Back = 0;
    Fuzz::Check(TryStrToDateTime(Text, Back, Settings), "the short formats do not read back", Text + QStringLiteral(" | ") + Format);
    Fuzz::Check(FormatDateTime(Format, Back, Settings) == Text, "the short formats read back another moment", Text);
    if (Value >= 0)
        Fuzz::Check(std::fabs(Value - Back) * 1440.0 < 1.0 + 1e-6, "the short formats read back another minute", Text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    Fuzz::TInput In(Data, Size);
    const uint8_t Mode = In.Byte();
    const double Value = ValueFrom(In);

    const auto& Known = LocaleSettings();
    TFormatSettings Settings = Known[Mode % Known.size()];
    CheckRoundTrip(Settings, Value);

    const QString Pattern = In.Text();
    const QString Text = In.Text();
    // Settings of any shape, as a locale could give them.
    if (Mode & 0x80) {
        Settings.ShortDateFormat = In.Text();
        Settings.ShortTimeFormat = In.Text();
        Settings.DateSeparator = In.Text();
        Settings.TimeSeparator = In.Text();
        Settings.TimeAMString = In.Text();
        Settings.TimePMString = In.Text();
    }

    (void)FormatDateTime(Pattern, Value, Settings);
    TDateTime Parsed = 0;
    if (TryStrToDateTime(Text, Parsed, Settings))
        Fuzz::Check(std::isfinite(Parsed), "a parsed date-time is not finite", Text);
    return 0;
}
