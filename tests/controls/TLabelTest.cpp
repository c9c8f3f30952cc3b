#include <QPainter>

#include <gtest/gtest.h>

#include "ControlsTestSupport.h"
#include "toolkit/DrawText.h"
#include "toolkit/ExtCtrls.h"

using namespace ControlsTest;

namespace {

const TColor Backdrop = clNavy;

// A label on a plain panel of one colour, on a form.
struct TStage
{
    TOwned<TForm> Form;
    TPanel* Host = nullptr;
    TLabel* Label = nullptr;

    TStage()
    {
        RegisterAll();
        Form.reset(new TForm(nullptr));
        Form->SetName(QStringLiteral("frmStage"));
        Form->SetClientWidth(320);
        Form->SetClientHeight(200);
        Host = new TPanel(Form.get());
        Host->SetName(QStringLiteral("pnlHost"));
        Host->SetParent(Form.get());
        Host->SetBevelOuter(bvNone);
        Host->SetParentBackground(false);
        Host->SetColor(Backdrop);
        Host->SetBounds(0, 0, 320, 200);
        Label = AddLabel(QStringLiteral("lblTest"));
    }

    TLabel* AddLabel(const QString& Name)
    {
        auto* L = new TLabel(Form.get());
        L->SetName(Name);
        L->SetParent(Host);
        L->SetLeft(20);
        L->SetTop(20);
        L->Font().SetName(QStringLiteral("DejaVu Sans Mono"));
        L->Font().SetHeight(-14);
        L->Font().SetColor(clWhite);
        return L;
    }

    QImage Grab(const QRect& Area) const
    {
        return Host->Widget()->grab(Area).toImage().convertToFormat(QImage::Format_RGB32);
    }
    QImage GrabLabel(const TControl* L) const { return Grab(L->BoundsRect()); }

    QString Written() const { return TWriter::WriteRootComponent(Form.get()); }
};

QFont MonoFont()
{
    TFont F;
    F.SetName(QStringLiteral("DejaVu Sans Mono"));
    F.SetHeight(-14);
    return F.ToQFont();
}

QSize Extent(const QString& Text, unsigned Flags = DT_NOPREFIX)
{
    QRect R(0, 0, 0, 0);
    DrawText(MonoFont(), Text, R, Flags | DT_CALCRECT);
    return R.size();
}

QRgb Rgb(TColor C)
{
    return ColorToQColor(C).rgb();
}

bool HasPixel(const QImage& Image, QRgb Colour)
{
    for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X)
            if (Image.pixel(X, Y) == Colour)
                return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------------------
// Creation and the Transparent writing rule

TEST(Label, NewLabelIs65By17AutoSizingAndTransparent)
{
    TStage S;
    // Untouched: placing it or giving it a font would fit it to its text.
    TOwned<TLabel> Fresh(new TLabel(nullptr));
    EXPECT_EQ(Fresh->BoundsRect().size(), QSize(65, 17));
    EXPECT_TRUE(S.Label->AutoSize());
    EXPECT_TRUE(S.Label->Transparent());
    EXPECT_FALSE(S.Label->ControlStyle() & csOpaque);
    EXPECT_TRUE(S.Label->ControlStyle() & csReplicatable);
    EXPECT_FALSE(S.Label->TransparentSet());
    EXPECT_EQ(S.Label->Alignment(), taLeftJustify);
    EXPECT_EQ(S.Label->Layout(), tlTop);
    EXPECT_EQ(S.Label->EllipsisPosition(), epNone);
    EXPECT_TRUE(S.Label->ShowAccelChar());
}

TEST(Label, TransparentIsWrittenOnlyOnceAssignedEvenWithoutChange)
{
    TStage S;
    EXPECT_FALSE(S.Written().contains(QStringLiteral("Transparent")));

    S.Label->SetTransparent(true);
    EXPECT_TRUE(S.Label->TransparentSet());
    EXPECT_TRUE(S.Written().contains(QStringLiteral("Transparent = True")));

    S.Label->SetTransparent(false);
    EXPECT_TRUE(S.Label->ControlStyle() & csOpaque);
    EXPECT_TRUE(S.Written().contains(QStringLiteral("Transparent = False")));

    // And it reads back as written.
    TOwned<TForm> Again = LoadForm(S.Written());
    auto* Label = Find<TLabel>(Again.get(), "lblTest");
    ASSERT_NE(Label, nullptr);
    EXPECT_FALSE(Label->Transparent());
    EXPECT_TRUE(Label->TransparentSet());
}

// ---------------------------------------------------------------------------
// Automatic size

TEST(Label, AutoSizeFollowsTheTextAsItWouldBeDrawn)
{
    struct Case
    {
        const char* Caption;
        bool ShowAccelChar;
        const char* MeasuresAs;
    };
    const Case Cases[] = {
        {"", true, " "},
        {"", false, " "},
        {"&", true, " "}, // "& ": the space is the marked character
        {"&", false, "&"},
        {"E&xit", true, "Exit"},
        {"E&xit", false, "E&xit"},
        {"a&&b", true, "a&b"},
        {"two\nlines", true, "lines\nlines"},
    };
    for (const Case& K : Cases) {
        SCOPED_TRACE(K.Caption);
        TStage S;
        S.Label->SetShowAccelChar(K.ShowAccelChar);
        S.Label->SetCaption(QStringLiteral("placeholder"));
        S.Label->SetCaption(QString::fromUtf8(K.Caption));
        EXPECT_EQ(S.Label->BoundsRect(), QRect(QPoint(20, 20), Extent(QString::fromUtf8(K.MeasuresAs))));
    }
}

TEST(Label, AutoSizedLabelKeepsTheEdgeItsAlignmentNames)
{
    struct Case
    {
        TAlignment Alignment;
        TBiDiMode BiDi;
        bool KeepsRight;
    };
    const Case Cases[] = {
        {taLeftJustify, bdLeftToRight, false},
        {taCenter, bdLeftToRight, false},
        {taRightJustify, bdLeftToRight, true},
        // Right-to-left alignment swaps the two sides.
        {taRightJustify, bdRightToLeft, false},
        {taLeftJustify, bdRightToLeft, true},
    };
    for (const Case& K : Cases) {
        SCOPED_TRACE(testing::Message() << K.Alignment << " bidi " << K.BiDi);
        TStage S;
        S.Label->SetBiDiMode(K.BiDi);
        S.Label->SetAlignment(K.Alignment);
        S.Label->SetCaption(QStringLiteral("short"));
        const QRect Before = S.Label->BoundsRect();
        S.Label->SetCaption(QStringLiteral("a good deal longer"));
        const QRect After = S.Label->BoundsRect();
        EXPECT_GT(After.width(), Before.width());
        if (K.KeepsRight)
            EXPECT_EQ(After.left() + After.width(), Before.left() + Before.width());
        else
            EXPECT_EQ(After.left(), Before.left());
        EXPECT_EQ(After.top(), Before.top());
    }
}

TEST(Label, WordWrappedAutoSizeKeepsTheWidthAndFollowsWithTheHeight)
{
    TStage S;
    S.Label->SetWidth(Extent(QStringLiteral("aaa bbb")).width());
    S.Label->SetWordWrap(true);
    S.Label->SetCaption(QStringLiteral("aaa bbb ccc ddd eee"));
    EXPECT_EQ(S.Label->Width(), Extent(QStringLiteral("aaa bbb")).width());
    EXPECT_EQ(S.Label->Height(), 3 * Extent(QStringLiteral("a")).height());
}

TEST(Label, FixedSizeLabelIsNotResized)
{
    TStage S;
    S.Label->SetAutoSize(false);
    S.Label->SetBounds(20, 20, 40, 30);
    S.Label->SetCaption(QStringLiteral("much wider than forty pixels"));
    S.Label->Font().SetHeight(-20);
    EXPECT_EQ(S.Label->BoundsRect(), QRect(20, 20, 40, 30));
}

TEST(Label, EllipsisTurnsAutoSizeOffAndAutoSizeOnClearsTheEllipsis)
{
    TStage S;
    S.Label->SetCaption(QStringLiteral("fitted"));
    const QRect Fitted = S.Label->BoundsRect();
    S.Label->SetEllipsisPosition(epEndEllipsis);
    EXPECT_FALSE(S.Label->AutoSize());
    EXPECT_EQ(S.Label->BoundsRect(), Fitted);

    // Off again: no change, so the ellipsis stays.
    S.Label->SetAutoSize(false);
    EXPECT_EQ(S.Label->EllipsisPosition(), epEndEllipsis);

    S.Label->SetAutoSize(true);
    EXPECT_EQ(S.Label->EllipsisPosition(), epNone);

    S.Label->SetEllipsisPosition(epWordEllipsis);
    S.Label->SetAutoSize(true);
    EXPECT_EQ(S.Label->EllipsisPosition(), epNone);
}

// ---------------------------------------------------------------------------
// Drawing

TEST(Label, TransparentLabelLeavesTheParentSurfaceUnderItsText)
{
    TStage S;
    S.Label->SetParentColor(false);
    S.Label->SetColor(clRed);
    S.Label->SetCaption(QStringLiteral("Hello"));
    QImage Image = S.GrabLabel(S.Label);
    EXPECT_EQ(Image.pixel(0, Image.height() - 1), Rgb(Backdrop));
    EXPECT_FALSE(HasPixel(Image, Rgb(clRed)));
    EXPECT_TRUE(HasPixel(Image, Rgb(clWhite))) << "the text is drawn";

    S.Label->SetTransparent(false);
    Image = S.GrabLabel(S.Label);
    EXPECT_EQ(Image.pixel(0, Image.height() - 1), Rgb(clRed));
}

TEST(Label, DisabledLabelIsEmbossedHighlightUnderShadow)
{
    TStage S;
    S.Label->SetCaption(QStringLiteral("Hello"));
    S.Label->SetEnabled(false);
    const QImage Got = S.GrabLabel(S.Label);

    // The same drawn by hand: highlight one pixel right and down, shadow in place on top.
    QImage Want(Got.size(), QImage::Format_RGB32);
    Want.fill(ColorToQColor(Backdrop));
    {
        QPainter P(&Want);
        P.setFont(S.Label->Font().ToQFont());
        QRect R(1, 1, Got.width(), Got.height());
        P.setPen(ColorToQColor(clBtnHighlight));
        DrawText(P, QStringLiteral("Hello"), R, DT_EXPANDTABS);
        R.translate(-1, -1);
        P.setPen(ColorToQColor(clBtnShadow));
        DrawText(P, QStringLiteral("Hello"), R, DT_EXPANDTABS);
    }
    EXPECT_TRUE(Got == Want);
    EXPECT_TRUE(HasPixel(Got, Rgb(clBtnHighlight)));
    EXPECT_TRUE(HasPixel(Got, Rgb(clBtnShadow)));

    // The highlight copy sticks out one pixel below the shadow (on the right
    // the label's edge cuts it off).
    const QRect Embossed = InkOn(Got, Rgb(Backdrop));
    S.Label->SetEnabled(true);
    const QRect Plain = InkOn(S.GrabLabel(S.Label), Rgb(Backdrop));
    EXPECT_EQ(Embossed.topLeft(), Plain.topLeft());
    EXPECT_EQ(Embossed.bottom(), Plain.bottom() + 1);
}

TEST(Label, LayoutPlacesTheTextVertically)
{
    TStage S;
    S.Label->SetCaption(QStringLiteral("Hello"));
    S.Label->SetAutoSize(false);
    S.Label->SetHeight(60);
    const int LineHeight = Extent(QStringLiteral("Hello")).height();
    const int Top = InkOn(S.GrabLabel(S.Label), Rgb(Backdrop)).top();

    struct Case
    {
        TTextLayout Layout;
        int Shift;
    };
    for (const Case K : {Case{tlCenter, (60 - LineHeight) / 2}, Case{tlBottom, 60 - LineHeight}}) {
        SCOPED_TRACE(K.Layout);
        S.Label->SetLayout(K.Layout);
        EXPECT_EQ(InkOn(S.GrabLabel(S.Label), Rgb(Backdrop)).top(), Top + K.Shift);
    }
}

TEST(Label, GlowSizeIsStoredAndChangesNothingInTheLook)
{
    TStage S;
    S.Label->SetCaption(QStringLiteral("Hello"));
    const QImage Before = S.GrabLabel(S.Label);
    S.Label->SetGlowSize(8);
    EXPECT_EQ(S.Label->GlowSize(), 8);
    EXPECT_TRUE(S.GrabLabel(S.Label) == Before);
    EXPECT_TRUE(S.Written().contains(QStringLiteral("GlowSize = 8")));
}

TEST(Label, WordEllipsisDropsWordsFromTheEndUntilTheTextFits)
{
    TStage S;
    const int LineHeight = Extent(QStringLiteral("a")).height();
    const int Width = Extent(QStringLiteral("aaa bbb...")).width() + 2;
    S.Label->SetAutoSize(false);
    S.Label->SetWordWrap(true);
    S.Label->SetEllipsisPosition(epWordEllipsis);
    S.Label->SetBounds(20, 20, Width, 2 * LineHeight);
    S.Label->SetCaption(QStringLiteral("aaa bbb ccc ddd eee fff"));

    TLabel* Expected = S.AddLabel(QStringLiteral("lblExpected"));
    Expected->SetAutoSize(false);
    Expected->SetWordWrap(true);
    Expected->SetBounds(20, 100, Width, 2 * LineHeight);
    Expected->SetCaption(QStringLiteral("aaa bbb ccc..."));
    EXPECT_TRUE(S.GrabLabel(S.Label) == S.GrabLabel(Expected));

    // Tabs count as word breaks as well.
    S.Label->SetCaption(QStringLiteral("aaa bbb ccc\tddd eee fff"));
    Expected->SetCaption(QStringLiteral("aaa bbb ccc..."));
    EXPECT_TRUE(S.GrabLabel(S.Label) == S.GrabLabel(Expected));
}

TEST(Label, WordEllipsisOnALabelLowerThanALineDrawsNothing)
{
    // A single word loses one character per step until it is gone.
    TStage S;
    S.Label->SetAutoSize(false);
    S.Label->SetWordWrap(true);
    S.Label->SetEllipsisPosition(epEndEllipsis);
    S.Label->SetBounds(20, 20, 200, Extent(QStringLiteral("a")).height() - 4);
    S.Label->SetCaption(QStringLiteral("unbreakable"));
    EXPECT_TRUE(InkOn(S.GrabLabel(S.Label), Rgb(Backdrop)).isNull());
}

TEST(Label, EndEllipsisShortensASingleLine)
{
    TStage S;
    S.Label->SetAutoSize(false);
    S.Label->SetEllipsisPosition(epEndEllipsis);
    S.Label->SetBounds(20, 20, Extent(QStringLiteral("abcd...")).width(), 20);
    S.Label->SetCaption(QStringLiteral("abcdefghijkl"));
    TLabel* Expected = S.AddLabel(QStringLiteral("lblExpected"));
    Expected->SetAutoSize(false);
    Expected->SetBounds(20, 100, S.Label->Width(), 20);
    Expected->SetCaption(QStringLiteral("abcd..."));
    EXPECT_TRUE(S.GrabLabel(S.Label) == S.GrabLabel(Expected));
}

// ---------------------------------------------------------------------------
// Accelerator and focus control

TEST(Label, AccelCharIsTheLastMarkedCharacter)
{
    struct Case
    {
        const char* Caption;
        const char* Accel;
    };
    const Case Cases[] = {
        {"E&xit", "x"},
        {"&Open &Save", "S"},
        {"a&&b", ""},
        {"a&&&b", "b"},
        {"trailing&", ""},
        {"", ""},
    };
    for (const Case& K : Cases)
        EXPECT_EQ(TCustomLabel::AccelChar(QString::fromUtf8(K.Caption)), QString::fromUtf8(K.Accel)) << K.Caption;
    // A surrogate pair is never split.
    const QString Pair = QString::fromUcs4(U"\U0001F600");
    EXPECT_EQ(TCustomLabel::AccelChar(QStringLiteral("&") + Pair), Pair);
}

TEST(Label, AcceleratorFocusesTheFocusControlOnlyWhenAllowed)
{
    struct Case
    {
        const char* What;
        QChar Key;
        bool Enabled;
        bool ShowAccelChar;
        bool Handled;
    };
    const Case Cases[] = {
        {"same letter", u'x', true, true, true},
        {"other case", u'X', true, true, true},
        {"other letter", u'e', true, true, false},
        {"disabled label", u'x', false, true, false},
        {"no accelerator shown", u'x', true, false, false},
    };
    for (const Case& K : Cases) {
        SCOPED_TRACE(K.What);
        TStage S;
        S.Form->SetVisible(true);
        auto* Target = new TPanel(S.Form.get());
        Target->SetParent(S.Host);
        S.Label->SetCaption(QStringLiteral("E&xit"));
        S.Label->SetFocusControl(Target);
        S.Label->SetEnabled(K.Enabled);
        S.Label->SetShowAccelChar(K.ShowAccelChar);
        EXPECT_EQ(S.Label->DialogChar(K.Key), K.Handled);
    }

    TStage S;
    S.Form->SetVisible(true);
    S.Label->SetCaption(QStringLiteral("E&xit"));
    EXPECT_FALSE(S.Label->DialogChar(u'x')) << "no focus control";
    auto* Hidden = new TPanel(S.Form.get());
    Hidden->SetParent(S.Host);
    Hidden->SetVisible(false);
    S.Label->SetFocusControl(Hidden);
    EXPECT_FALSE(S.Label->DialogChar(u'x')) << "a control that cannot take the focus";
}

TEST(Label, FocusControlIsClearedWhenItIsDestroyed)
{
    TStage S;
    auto* Target = new TPanel(S.Form.get());
    Target->SetParent(S.Host);
    S.Label->SetFocusControl(Target);
    FreeComponent(Target);
    EXPECT_EQ(S.Label->FocusControl(), nullptr);
    EXPECT_FALSE(S.Label->DialogChar(u'x'));
}
