#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <functional>

#include "toolkit/PropertyTables.h"

class QPainter;

// A colour as the descriptions spell it: $00BBGGRR, or a system colour
// (high byte 0xFF, low byte the system colour index).
enum TColor : qint32
{
    clBlack = 0x000000,
    clMaroon = 0x000080,
    clGreen = 0x008000,
    clOlive = 0x008080,
    clNavy = 0x800000,
    clPurple = 0x800080,
    clTeal = 0x808000,
    clGray = 0x808080,
    clSilver = 0xC0C0C0,
    clRed = 0x0000FF,
    clLime = 0x00FF00,
    clYellow = 0x00FFFF,
    clBlue = 0xFF0000,
    clFuchsia = 0xFF00FF,
    clAqua = 0xFFFF00,
    clWhite = 0xFFFFFF,
    clScrollBar = qint32(0xFF000000),
    clBackground = qint32(0xFF000001),
    clActiveCaption = qint32(0xFF000002),
    clInactiveCaption = qint32(0xFF000003),
    clMenu = qint32(0xFF000004),
    clWindow = qint32(0xFF000005),
    clWindowFrame = qint32(0xFF000006),
    clMenuText = qint32(0xFF000007),
    clWindowText = qint32(0xFF000008),
    clCaptionText = qint32(0xFF000009),
    clActiveBorder = qint32(0xFF00000A),
    clInactiveBorder = qint32(0xFF00000B),
    clAppWorkSpace = qint32(0xFF00000C),
    clHighlight = qint32(0xFF00000D),
    clHighlightText = qint32(0xFF00000E),
    clBtnFace = qint32(0xFF00000F),
    clBtnShadow = qint32(0xFF000010),
    clGrayText = qint32(0xFF000011),
    clBtnText = qint32(0xFF000012),
    clInactiveCaptionText = qint32(0xFF000013),
    clBtnHighlight = qint32(0xFF000014),
    cl3DDkShadow = qint32(0xFF000015),
    cl3DLight = qint32(0xFF000016),
    clInfoText = qint32(0xFF000017),
    clInfoBk = qint32(0xFF000018),
    clNone = 0x1FFFFFFF,
    clDefault = 0x20000000
};

// The RGB value of a colour; system colours have the classic desktop values
// the windows were designed against, so the look does not follow the theme.
QColor ColorToQColor(TColor Color);
// The description spelling: a name for the named colours, otherwise $00BBGGRR.
QString ColorToString(TColor Color);
// False when Text is neither a colour name nor a number.
bool StringToColor(const QString& Text, TColor& Out);

template <>
struct Props::TCodec<TColor>
{
    static constexpr TPropInfo::TKind Kind = TPropInfo::pkColor;
    static TValue ToValue(TColor V);
    static TColor FromValue(const TValue& V);
};

enum TFontStyle
{
    fsBold,
    fsItalic,
    fsUnderline,
    fsStrikeOut
};
using TFontStyles = TSet<TFontStyle>;
template <>
struct TEnumInfo<TFontStyle>
{
    static constexpr std::array Names{"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
};

// A font given by family name and character height in pixels (negative
// Height, at 96 dots per inch) or cell height (positive).
class TFont
{
public:
    static constexpr const char* DefaultName = "Tahoma";
    static constexpr int DefaultHeight = -11;
    static constexpr TColor DefaultColor = clWindowText;

    const QString& Name() const { return FName; }
    void SetName(const QString& Value);
    int Height() const { return FHeight; }
    void SetHeight(int Value);
    // Points at 96 dots per inch: Height = -Size * 96 / 72.
    int Size() const;
    void SetSize(int Value);
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles Value);

    // Copies every attribute; OnChange fires once when anything differed.
    void Assign(const TFont& Source);
    bool operator==(const TFont& O) const;

    // A pixel-sized QFont, never a point size that would follow the screen.
    QFont ToQFont() const;

    // Called after every change of value.
    std::function<void()> OnChange;

private:
    void Changed();

    QString FName = QString::fromLatin1(DefaultName);
    int FHeight = DefaultHeight;
    TColor FColor = DefaultColor;
    TFontStyles FStyle;
};

enum TBrushStyle
{
    bsSolid,
    bsClear
};

// The drawing surface of a windowless control while it paints, or of a
// measurement when Painter is null.
class TCanvas
{
public:
    explicit TCanvas(QPainter* Painter = nullptr) : FPainter(Painter) {}

    QPainter* Painter() const { return FPainter; }
    void SetPainter(QPainter* Painter) { FPainter = Painter; }

    TFont Font;
    TColor BrushColor = clWhite;
    TBrushStyle BrushStyle = bsSolid;

    // Fills R with the brush, unless the brush is clear or there is no painter.
    void FillRect(const QRect& R);
    // Makes the painter use Font (and its colour as the pen).
    void ApplyFont();

private:
    QPainter* FPainter = nullptr;
};
