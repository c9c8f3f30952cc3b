#include "toolkit/DrawText.h"

#include <QFontMetrics>
#include <QList>
#include <QPainter>
#include <QTextCharFormat>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace {

const QString Ellipsis = QStringLiteral("...");

// One line of output: its characters and which of them are underlined.
struct TLine
{
    QString Text;
    QList<int> Underlined;
};

bool IsBlank(QChar C)
{
    return C == u' ' || C == u'\t';
}

bool IsLineBreak(QChar C)
{
    return C == u'\r' || C == u'\n';
}

// Lays out one line at a time with the font, the tab stops and the reading
// direction in force, so that measuring and drawing agree to the pixel.
class TLineSetter
{
public:
    TLineSetter(const QFont& Font, const QPaintDevice* Device, unsigned Flags)
        : FFont(Font)
        , FDevice(Device)
        , FMetrics(Device ? QFontMetrics(Font, Device) : QFontMetrics(Font))
    {
        FOption.setWrapMode(QTextOption::NoWrap);
        // Absolute left: the routine places each line itself, whatever the direction.
        FOption.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
        FOption.setTextDirection(Flags & DT_RTLREADING ? Qt::RightToLeft : Qt::LeftToRight);
        FOption.setTabStopDistance(8.0 * FMetrics.averageCharWidth());
    }

    int LineHeight() const { return FMetrics.height(); }

    int Width(const QString& Text) const
    {
        if (Text.isEmpty())
            return 0;
        QTextLayout Layout(Text, FFont, FDevice);
        Layout.setTextOption(FOption);
        Layout.beginLayout();
        QTextLine Line = Layout.createLine();
        Line.setLineWidth(1e6);
        Layout.endLayout();
        return int(std::ceil(Line.naturalTextWidth()));
    }

    void Draw(QPainter& Painter, const TLine& L, QPointF At) const
    {
        if (L.Text.isEmpty())
            return;
        QTextLayout Layout(L.Text, FFont, FDevice);
        Layout.setTextOption(FOption);
        QList<QTextLayout::FormatRange> Formats;
        for (int Pos : L.Underlined) {
            QTextLayout::FormatRange Range;
            Range.start = Pos;
            Range.length = 1;
            Range.format.setFontUnderline(true);
            Formats.append(Range);
        }
        Layout.setFormats(Formats);
        Layout.beginLayout();
        QTextLine Line = Layout.createLine();
        Line.setLineWidth(1e6);
        Line.setPosition(QPointF(0, 0));
        Layout.endLayout();
        Layout.draw(&Painter, At);
    }

private:
    QFont FFont;
    const QPaintDevice* FDevice;
    QFontMetrics FMetrics;
    QTextOption FOption;
};

// Resolves the accelerator prefixes and splits at line breaks. A lone "&" at
// the very end marks nothing and is dropped.
QList<TLine> HardLines(const QString& Text, unsigned Flags)
{
    const bool Prefix = !(Flags & DT_NOPREFIX);
    const bool ExpandTabs = Flags & DT_EXPANDTABS;
    QList<TLine> Lines;
    TLine Current;
    bool UnderlineNext = false;
    const int N = Text.size();
    for (int I = 0; I < N; ++I) {
        QChar C = Text.at(I);
        if (IsLineBreak(C)) {
            if (C == u'\r' && I + 1 < N && Text.at(I + 1) == u'\n')
                ++I;
            Lines.append(Current);
            Current = TLine();
            UnderlineNext = false;
            continue;
        }
        if (Prefix && C == u'&' && !UnderlineNext) {
            if (I + 1 < N && Text.at(I + 1) == u'&') {
                Current.Text.append(C);
                ++I;
            } else {
                UnderlineNext = true;
            }
            continue;
        }
        if (C == u'\t' && !ExpandTabs)
            C = u' ';
        if (UnderlineNext) {
            Current.Underlined.append(int(Current.Text.size()));
            // The low half of a pair belongs to the same character.
            if (C.isHighSurrogate() && I + 1 < N && Text.at(I + 1).isLowSurrogate()) {
                Current.Text.append(C);
                C = Text.at(++I);
                Current.Underlined.append(int(Current.Text.size()));
            }
            UnderlineNext = false;
        }
        Current.Text.append(C);
    }
    // A break at the very end opens no further line.
    if (!Current.Text.isEmpty() || Lines.isEmpty())
        Lines.append(Current);
    return Lines;
}

TLine Slice(const TLine& L, int From, int To)
{
    TLine Part;
    Part.Text = L.Text.mid(From, To - From);
    for (int Pos : L.Underlined)
        if (Pos >= From && Pos < To)
            Part.Underlined.append(Pos - From);
    return Part;
}

int NextWordEnd(const QString& Text, int Pos)
{
    const int N = Text.size();
    while (Pos < N && IsBlank(Text.at(Pos)))
        ++Pos;
    while (Pos < N && !IsBlank(Text.at(Pos)))
        ++Pos;
    return Pos;
}

// Greedy breaking between words; the blanks at a break are swallowed and a
// word that is wider than the line stays whole.
QList<TLine> WrapLine(const TLine& L, int Width, const TLineSetter& Setter)
{
    QList<TLine> Out;
    const int N = L.Text.size();
    if (N == 0) {
        Out.append(L);
        return Out;
    }
    int Pos = 0;
    while (Pos < N) {
        int End = NextWordEnd(L.Text, Pos);
        while (End < N) {
            int Next = NextWordEnd(L.Text, End);
            if (Setter.Width(L.Text.mid(Pos, Next - Pos)) > Width)
                break;
            End = Next;
        }
        Out.append(Slice(L, Pos, End));
        Pos = End;
        while (Pos < N && IsBlank(L.Text.at(Pos)))
            ++Pos;
    }
    return Out;
}

// Start of the character that ends at or covers Pos, never inside a pair.
int CharBoundary(const QString& Text, int Pos)
{
    if (Pos > 0 && Pos < Text.size() && Text.at(Pos).isLowSurrogate() && Text.at(Pos - 1).isHighSurrogate())
        return Pos - 1;
    return Pos;
}

// The first Head characters, "...", then everything from TailFrom on.
TLine Compose(const TLine& L, int Head, int TailFrom)
{
    TLine Out;
    Out.Text = L.Text.left(Head) + Ellipsis + L.Text.mid(TailFrom);
    for (int Pos : L.Underlined) {
        if (Pos < Head)
            Out.Underlined.append(Pos);
        else if (Pos >= TailFrom)
            Out.Underlined.append(Pos - TailFrom + Head + int(Ellipsis.size()));
    }
    return Out;
}

// The longest head (kept before "...") for which Make(head) fits in Width.
template <typename F>
TLine LongestFitting(int MaxHead, int Width, const TLineSetter& Setter, F Make)
{
    int Lo = 0;
    int Hi = MaxHead;
    while (Lo < Hi) {
        int Mid = (Lo + Hi + 1) / 2;
        if (Setter.Width(Make(Mid).Text) <= Width)
            Lo = Mid;
        else
            Hi = Mid - 1;
    }
    return Make(Lo);
}

TLine EndEllipsis(const TLine& L, int Width, const TLineSetter& Setter)
{
    const QString& T = L.Text;
    return LongestFitting(int(T.size()), Width, Setter, [&](int Head) {
        return Compose(L, CharBoundary(T, Head), int(T.size()));
    });
}

TLine PathEllipsis(const TLine& L, int Width, const TLineSetter& Setter)
{
    const QString& T = L.Text;
    const int N = int(T.size());
    int Separator = int(std::max(T.lastIndexOf(u'/'), T.lastIndexOf(u'\\')));
    if (Separator >= 0) {
        // The file name stays whole; what does not fit of it is clipped.
        return LongestFitting(Separator, Width, Setter, [&](int Head) {
            return Compose(L, CharBoundary(T, Head), Separator);
        });
    }
    // Without a path the middle gives way, the rest kept in equal halves.
    return LongestFitting(N, Width, Setter, [&](int Kept) {
        int Head = CharBoundary(T, (Kept + 1) / 2);
        int TailFrom = N - Kept / 2;
        if (TailFrom < N && T.at(TailFrom).isLowSurrogate())
            ++TailFrom;
        return Compose(L, Head, std::max(TailFrom, Head));
    });
}

int Render(QPainter* Painter, const QFont& Font, const QString& Text, QRect& R, unsigned Flags)
{
    if (Text.isEmpty()) {
        if (Flags & DT_CALCRECT)
            R.setSize(QSize(0, 0));
        return 0;
    }
    TLineSetter Setter(Font, Painter ? Painter->device() : nullptr, Flags);
    const int Width = R.width();

    QList<TLine> Lines;
    for (const TLine& Hard : HardLines(Text, Flags)) {
        if (Flags & DT_WORDBREAK)
            Lines.append(WrapLine(Hard, Width, Setter));
        else
            Lines.append(Hard);
    }

    for (int I = 0; I < Lines.size(); ++I) {
        TLine& L = Lines[I];
        if (Setter.Width(L.Text) <= Width)
            continue;
        if (Flags & DT_PATH_ELLIPSIS)
            L = PathEllipsis(L, Width, Setter);
        else if (Flags & DT_WORD_ELLIPSIS)
            L = EndEllipsis(L, Width, Setter);
        // A word-broken text gives the end ellipsis to its last line only:
        // an overlong word inside it is clipped.
        else if ((Flags & DT_END_ELLIPSIS) && (!(Flags & DT_WORDBREAK) || I == Lines.size() - 1))
            L = EndEllipsis(L, Width, Setter);
    }

    const int LineHeight = Setter.LineHeight();
    const int Height = int(Lines.size()) * LineHeight;

    if (Flags & DT_CALCRECT) {
        int Widest = 0;
        for (const TLine& L : Lines)
            Widest = std::max(Widest, Setter.Width(L.Text));
        if (Flags & DT_WORDBREAK)
            Widest = std::max(Widest, Width);
        R.setSize(QSize(Widest, Height));
        return Height;
    }
    if (!Painter)
        return Height;

    Painter->save();
    Painter->setClipRect(R, Qt::IntersectClip);
    int Y = R.top();
    for (const TLine& L : Lines) {
        int LineWidth = Setter.Width(L.Text);
        int X = R.left();
        if (Flags & DT_RIGHT)
            X = R.left() + Width - LineWidth;
        else if (Flags & DT_CENTER)
            X = R.left() + (Width - LineWidth) / 2;
        Setter.Draw(*Painter, L, QPointF(X, Y));
        Y += LineHeight;
    }
    Painter->restore();
    return Height;
}

} // namespace

int DrawText(QPainter& Painter, const QString& Text, QRect& R, unsigned Flags)
{
    return Render(&Painter, Painter.font(), Text, R, Flags);
}

int DrawText(const QFont& Font, const QString& Text, QRect& R, unsigned Flags)
{
    return Render(nullptr, Font, Text, R, Flags);
}
