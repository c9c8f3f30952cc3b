#include "toolkit/Graphics.h"

#include <QFontMetrics>
#include <QPainter>

#include <cstdlib>

namespace {

struct TColorName
{
    TColor Color;
    const char* Name;
};

const TColorName ColorNames[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clScrollBar, "clScrollBar"},
    {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
    {clNone, "clNone"},
    {clDefault, "clDefault"},
};

// The classic desktop scheme, by system colour index.
const QRgb SystemColors[] = {
    0xC8C8C8, // scroll bar
    0x000000, // background
    0x99B4D1, // active caption
    0xBFCDDB, // inactive caption
    0xF0F0F0, // menu
    0xFFFFFF, // window
    0x646464, // window frame
    0x000000, // menu text
    0x000000, // window text
    0x000000, // caption text
    0xB4B4B4, // active border
    0xF4F7FC, // inactive border
    0xABABAB, // application work space
    0x3399FF, // highlight
    0xFFFFFF, // highlight text
    0xF0F0F0, // button face
    0xA0A0A0, // button shadow
    0x6D6D6D, // grey text
    0x000000, // button text
    0x434E54, // inactive caption text
    0xFFFFFF, // button highlight
    0x696969, // 3-D dark shadow
    0xE3E3E3, // 3-D light
    0x000000, // info text
    0xFFFFE1, // info background
};

} // namespace

QColor ColorToQColor(TColor Color)
{
    const quint32 V = static_cast<quint32>(Color);
    if ((V & 0xFF000000u) == 0xFF000000u) {
        const quint32 Index = V & 0xFFu;
        if (Index < std::size(SystemColors))
            return QColor::fromRgb(SystemColors[Index]);
        return QColor(Qt::black);
    }
    if (Color == clNone)
        return QColor(Qt::transparent);
    if (Color == clDefault)
        return ColorToQColor(clWindow);
    return QColor(static_cast<int>(V & 0xFF), static_cast<int>((V >> 8) & 0xFF), static_cast<int>((V >> 16) & 0xFF));
}

QString ColorToString(TColor Color)
{
    for (const TColorName& N : ColorNames)
        if (N.Color == Color)
            return QString::fromLatin1(N.Name);
    return QStringLiteral("$%1").arg(static_cast<quint32>(Color), 8, 16, QChar(u'0')).toUpper();
}

bool StringToColor(const QString& Text, TColor& Out)
{
    for (const TColorName& N : ColorNames)
        if (Text.compare(QLatin1String(N.Name), Qt::CaseInsensitive) == 0) {
            Out = N.Color;
            return true;
        }
    bool Ok = false;
    const qint64 V = Text.startsWith(u'$') ? Text.mid(1).toLongLong(&Ok, 16) : Text.toLongLong(&Ok, 10);
    if (!Ok || V < INT32_MIN || V > UINT32_MAX)
        return false;
    Out = static_cast<TColor>(static_cast<qint32>(static_cast<quint32>(V)));
    return true;
}

TValue Props::TCodec<TColor>::ToValue(TColor V)
{
    // The writer spells it as the reader takes it: a name or a $ number.
    return TValue::OfIdent(ColorToString(V));
}

TColor Props::TCodec<TColor>::FromValue(const TValue& V)
{
    if (V.Kind == TValue::vkInteger && V.Integer >= INT32_MIN && V.Integer <= UINT32_MAX)
        return static_cast<TColor>(static_cast<qint32>(static_cast<quint32>(V.Integer)));
    TColor C = clBlack;
    if (V.Kind == TValue::vkIdent && !V.Text.startsWith(u'$') && StringToColor(V.Text, C))
        return C;
    if (V.Kind == TValue::vkIdent && V.Text.startsWith(u'$') && StringToColor(V.Text, C))
        return C;
    throw EPropertyError(QStringLiteral("Colour expected (a name such as clWhite or a number such as $00BBGGRR)"));
}

void TFont::SetName(const QString& Value)
{
    if (Value == FName)
        return;
    FName = Value;
    Changed();
}

void TFont::SetHeight(int Value)
{
    if (Value == FHeight)
        return;
    FHeight = Value;
    Changed();
}

int TFont::Size() const
{
    // Rounded as the system's MulDiv does.
    const int N = -FHeight * 72;
    return N >= 0 ? (N + 48) / 96 : -((-N + 48) / 96);
}

void TFont::SetSize(int Value)
{
    const int N = Value * 96;
    SetHeight(-(N >= 0 ? (N + 36) / 72 : -((-N + 36) / 72)));
}

void TFont::SetColor(TColor Value)
{
    if (Value == FColor)
        return;
    FColor = Value;
    Changed();
}

void TFont::SetStyle(TFontStyles Value)
{
    if (Value == FStyle)
        return;
    FStyle = Value;
    Changed();
}

void TFont::Assign(const TFont& Source)
{
    if (*this == Source)
        return;
    FName = Source.FName;
    FHeight = Source.FHeight;
    FColor = Source.FColor;
    FStyle = Source.FStyle;
    Changed();
}

bool TFont::operator==(const TFont& O) const
{
    return FName == O.FName && FHeight == O.FHeight && FColor == O.FColor && FStyle == O.FStyle;
}

QFont TFont::ToQFont() const
{
    QFont F(FName);
    // A negative height is the character height; a positive one the cell
    // height, which also holds the internal leading.
    if (FHeight < 0) {
        F.setPixelSize(-FHeight);
    } else if (FHeight == 0) {
        F.setPixelSize(-DefaultHeight);
    } else {
        int Pixels = FHeight;
        F.setPixelSize(Pixels);
        while (Pixels > 1 && QFontMetrics(F).height() > FHeight)
            F.setPixelSize(--Pixels);
    }
    F.setBold(FStyle.Contains(fsBold));
    F.setItalic(FStyle.Contains(fsItalic));
    F.setUnderline(FStyle.Contains(fsUnderline));
    F.setStrikeOut(FStyle.Contains(fsStrikeOut));
    F.setStyleStrategy(QFont::PreferDefault);
    F.setHintingPreference(QFont::PreferFullHinting);
    return F;
}

void TFont::Changed()
{
    if (OnChange)
        OnChange();
}

void TCanvas::FillRect(const QRect& R)
{
    if (!FPainter || BrushStyle == bsClear)
        return;
    FPainter->fillRect(R, ColorToQColor(BrushColor));
}

void TCanvas::ApplyFont()
{
    if (!FPainter)
        return;
    FPainter->setFont(Font.ToQFont());
    FPainter->setPen(ColorToQColor(Font.Color()));
}
