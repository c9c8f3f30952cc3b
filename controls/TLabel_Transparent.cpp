#include "controls/TLabel_Transparent.h"

#include <QLocale>
#include <QPainter>
#include <QRegularExpression>

#include "toolkit/DrawText.h"

namespace {

const QString Ellipsis = QStringLiteral("...");

unsigned AlignmentFlag(TAlignment Alignment)
{
    switch (Alignment) {
    case taRightJustify:
        return DT_RIGHT;
    case taCenter:
        return DT_CENTER;
    case taLeftJustify:
        break;
    }
    return DT_LEFT;
}

unsigned EllipsisFlag(TEllipsisPosition Position)
{
    switch (Position) {
    case epPathEllipsis:
        return DT_PATH_ELLIPSIS;
    case epEndEllipsis:
        return DT_END_ELLIPSIS;
    case epWordEllipsis:
        return DT_WORD_ELLIPSIS;
    case epNone:
        break;
    }
    return 0;
}

// Measuring happens on no surface at all, whatever is being painted.
class TMeasuringCanvas
{
public:
    explicit TMeasuringCanvas(TCanvas& Canvas) : FCanvas(Canvas), FPainter(Canvas.Painter()) { FCanvas.SetPainter(nullptr); }
    ~TMeasuringCanvas() { FCanvas.SetPainter(FPainter); }
    TMeasuringCanvas(const TMeasuringCanvas&) = delete;
    TMeasuringCanvas& operator=(const TMeasuringCanvas&) = delete;

private:
    TCanvas& FCanvas;
    QPainter* FPainter;
};

} // namespace

// ---------------------------------------------------------------------------
// TCustomLabel

TCustomLabel::TCustomLabel(TComponent* AOwner)
    : TGraphicControl(AOwner)
{
    // Transparent whatever the theme: the parent's surface shows through.
    SetControlStyle((ControlStyle() | csReplicatable) & ~csOpaque);
    SetColor(clBtnFace);
    SetParentColor(true);
    SetBounds(Left(), Top(), DefaultWidth, DefaultHeight);
}

TCustomLabel::~TCustomLabel() = default;

void TCustomLabel::SetFocusControl(TWinControl* Value)
{
    // The control the label leads to is the one it names to a screen reader.
    if (FFocusControl && FFocusControl != Value && FFocusControl->LabelledBy() == this)
        FFocusControl->SetLabelledBy(nullptr);
    FFocusControl = Value;
    if (Value) {
        Value->FreeNotification(this);
        if (!Value->LabelledBy())
            Value->SetLabelledBy(this);
    }
}

QAccessible::Role TCustomLabel::AccessibleRole() const
{
    return QAccessible::StaticText;
}

QString TCustomLabel::AccessibleName() const
{
    return AccessibleText(Caption(), FShowAccelChar);
}

void TCustomLabel::Notification(TComponent* AComponent, TOperation Operation)
{
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FFocusControl)
        FFocusControl = nullptr;
}

void TCustomLabel::SetAlignment(TAlignment Value)
{
    if (Value == FAlignment)
        return;
    FAlignment = Value;
    Invalidate();
}

void TCustomLabel::SetAutoSize(bool Value)
{
    if (Value == FAutoSize)
        return;
    FAutoSize = Value;
    // A label that sizes itself to its text has nothing to shorten.
    FEllipsisPosition = epNone;
    FitToText();
}

void TCustomLabel::SetGlowSize(int Value)
{
    if (Value == FGlowSize)
        return;
    FGlowSize = Value;
    Invalidate();
}

void TCustomLabel::SetLayout(TTextLayout Value)
{
    if (Value == FLayout)
        return;
    FLayout = Value;
    Invalidate();
}

void TCustomLabel::SetWordWrap(bool Value)
{
    if (Value == FWordWrap)
        return;
    FWordWrap = Value;
    FitToText();
    Invalidate();
}

void TCustomLabel::SetShowAccelChar(bool Value)
{
    if (Value == FShowAccelChar)
        return;
    FShowAccelChar = Value;
    Invalidate();
    AccessibleNameChanged();
}

void TCustomLabel::SetEllipsisPosition(TEllipsisPosition Value)
{
    if (Value == FEllipsisPosition)
        return;
    FEllipsisPosition = Value;
    // Shortening needs fixed bounds; the size stays as it is.
    FAutoSize = false;
    Invalidate();
}

bool TCustomLabel::Transparent() const
{
    return !(ControlStyle() & csOpaque);
}

void TCustomLabel::SetTransparent(bool Value)
{
    if (Value != Transparent()) {
        SetControlStyle(Value ? ControlStyle() & ~csOpaque : ControlStyle() | csOpaque);
        Invalidate();
    }
    FTransparentSet = true;
}

QString TCustomLabel::TextForDrawing() const
{
    return Caption();
}

int TCustomLabel::OutputText(const QString& Text, QRect& R, unsigned Flags)
{
    if (QPainter* Painter = Canvas().Painter())
        return DrawText(*Painter, Text, R, Flags);
    return DrawText(Canvas().Font.ToQFont(), Text, R, Flags);
}

void TCustomLabel::RenderText(QRect& R, unsigned Flags)
{
    QString Text = TextForDrawing();
    // An empty label still measures one line.
    if ((Flags & DT_CALCRECT) && (Text.isEmpty() || (FShowAccelChar && Text == QStringLiteral("&"))))
        Text += u' ';
    if (Text.isEmpty())
        return;
    if (!FShowAccelChar)
        Flags |= DT_NOPREFIX;
    if (UseRightToLeftAlignment()) {
        if (Flags & DT_RIGHT)
            Flags &= ~DT_RIGHT;
        else if (!(Flags & DT_CENTER))
            Flags |= DT_RIGHT;
    }
    if (UseRightToLeftReading())
        Flags |= DT_RTLREADING;

    TCanvas& C = Canvas();
    C.Font.Assign(Font());
    C.ApplyFont();

    if (FEllipsisPosition != epNone && !FAutoSize) {
        QString Shown = Text;
        Flags &= ~DT_EXPANDTABS;
        Flags |= EllipsisFlag(FEllipsisPosition);
        // The text routine shortens lines, not the number of lines: a wrapped
        // text that is too tall loses words from its end until it fits.
        if (FWordWrap && (FEllipsisPosition == epEndEllipsis || FEllipsisPosition == epWordEllipsis)) {
            QRect Dots(0, 0, 0, 0);
            OutputText(Ellipsis, Dots, DT_CALCRECT | DT_NOPREFIX);
            for (;;) {
                QRect N = R;
                N.setWidth(R.width() - Dots.width());
                OutputText(Shown, N, Flags | DT_CALCRECT);
                const int H = N.height();
                if (H <= ClientHeight() || H <= Font().Height())
                    break;
                qsizetype Cut = Text.lastIndexOf(QRegularExpression(QStringLiteral("[ \t]")));
                if (Cut < 0)
                    Cut = Text.size() - 1;
                if (Cut > 0 && Text.at(Cut - 1).isHighSurrogate())
                    --Cut;
                Text.truncate(Cut);
                Shown = Text + Ellipsis;
                if (Text.isEmpty())
                    break;
            }
        }
        if (!Text.isEmpty())
            Text = Shown;
    }

    if (Enabled()) {
        OutputText(Text, R, Flags);
        return;
    }
    // Embossed: a highlight copy one pixel down and right under a shadow copy.
    R.translate(1, 1);
    C.Font.SetColor(clBtnHighlight);
    C.ApplyFont();
    OutputText(Text, R, Flags);
    R.translate(-1, -1);
    C.Font.SetColor(clBtnShadow);
    C.ApplyFont();
    OutputText(Text, R, Flags);
}

void TCustomLabel::Paint()
{
    QRect R = ClientRect();
    TCanvas& C = Canvas();
    if (!Transparent()) {
        C.BrushColor = Color();
        C.BrushStyle = bsSolid;
        // On a glass frame this fill would go through a buffered paint that
        // sets the alpha of R to opaque. Qt offers no glass frames, so the
        // brush always fills R directly.
        C.FillRect(R);
    }
    C.BrushStyle = bsClear;

    const unsigned Flags = DT_EXPANDTABS | (FWordWrap ? DT_WORDBREAK : 0) | AlignmentFlag(FAlignment);
    if (FLayout != tlTop) {
        QRect Measured = R;
        RenderText(Measured, Flags | DT_CALCRECT);
        int Shift = Height() - (Measured.top() + Measured.height());
        if (FLayout == tlCenter)
            Shift /= 2;
        R.translate(0, Shift);
    }
    RenderText(R, Flags);
}

void TCustomLabel::FitToText()
{
    if (HasState(csReading) || !FAutoSize)
        return;
    QRect R = ClientRect();
    {
        TMeasuringCanvas Measuring(Canvas());
        const unsigned Flags = DT_EXPANDTABS | DT_CALCRECT | (FWordWrap ? DT_WORDBREAK : 0);
        RenderText(R, Flags);
        // A word wider than the label widens it. Wrapped again at that width
        // the lines are those of any later fit, so a second fit (a window read
        // back as written) changes nothing.
        if (FWordWrap && R.width() > ClientRect().width()) {
            R = QRect(ClientRect().topLeft(), QSize(R.left() + R.width(), ClientRect().height()));
            RenderText(R, Flags);
        }
    }
    TAlignment Effective = FAlignment;
    if (UseRightToLeftAlignment()) {
        if (Effective == taLeftJustify)
            Effective = taRightJustify;
        else if (Effective == taRightJustify)
            Effective = taLeftJustify;
    }
    int X = Left();
    // A right-aligned label keeps its right edge.
    if (Effective == taRightJustify)
        X += Width() - (R.left() + R.width());
    SetBounds(X, Top(), R.left() + R.width(), R.top() + R.height());
}

void TCustomLabel::TextChanged()
{
    Invalidate();
    FitToText();
}

void TCustomLabel::FontChanged()
{
    TGraphicControl::FontChanged();
    FitToText();
}

void TCustomLabel::Loaded()
{
    TGraphicControl::Loaded();
    FitToText();
}

QString TCustomLabel::AccelChar(const QString& Caption)
{
    QString Found;
    const qsizetype N = Caption.size();
    for (qsizetype I = 0; I < N; ++I) {
        if (Caption.at(I) != u'&')
            continue;
        if (I + 1 >= N)
            break;
        if (Caption.at(I + 1) == u'&') {
            ++I;
            continue;
        }
        qsizetype Length = 1;
        if (Caption.at(I + 1).isHighSurrogate() && I + 2 < N && Caption.at(I + 2).isLowSurrogate())
            Length = 2;
        Found = Caption.mid(I + 1, Length);
        I += Length;
    }
    return Found;
}

bool TCustomLabel::DialogChar(QChar Key)
{
    if (FFocusControl && Enabled() && FShowAccelChar) {
        const QString Accel = AccelChar(Caption());
        const QLocale Locale;
        if (!Accel.isEmpty() && Locale.toUpper(QString(Key)) == Locale.toUpper(Accel) && FFocusControl->CanFocus()) {
            FFocusControl->SetFocus();
            return true;
        }
    }
    return TGraphicControl::DialogChar(Key);
}

// ---------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* AOwner)
    : TCustomLabel(AOwner)
{
}

TPropList TLabel::Published()
{
    using L = TCustomLabel;
    TPropList P;
    P.push_back(Props::Property<L>(QStringLiteral("Alignment"), &L::Alignment, &L::SetAlignment, taLeftJustify));
    P.push_back(Props::Property<L>(QStringLiteral("AutoSize"), &L::AutoSize, &L::SetAutoSize, true));
    P.push_back(ControlProps::BiDiMode());
    P.push_back(ControlProps::Caption());
    P.push_back(ControlProps::Color(clBtnFace));
    P.push_back(Props::Property<L>(QStringLiteral("EllipsisPosition"), &L::EllipsisPosition, &L::SetEllipsisPosition, epNone));
    P.push_back(Props::Reference<L, TWinControl>(QStringLiteral("FocusControl"), &L::FocusControl, &L::SetFocusControl));
    ControlProps::AddFont(P);
    P.push_back(Props::Property<L>(QStringLiteral("GlowSize"), &L::GlowSize, &L::SetGlowSize, 0));
    P.push_back(ControlProps::ParentBiDiMode());
    P.push_back(Props::Property<TControl>(QStringLiteral("ParentColor"), &TControl::ParentColor, &TControl::SetParentColor, true));
    P.push_back(ControlProps::ParentFont());
    P.push_back(Props::Property<L>(QStringLiteral("ShowAccelChar"), &L::ShowAccelChar, &L::SetShowAccelChar, true));
    // No default: written exactly when it was once assigned.
    P.push_back(Props::Property<L>(QStringLiteral("Transparent"), &L::Transparent, &L::SetTransparent, std::nullopt,
        std::function<bool(const L&)>([](const L& Label) { return Label.TransparentSet(); })));
    P.push_back(Props::Property<L>(QStringLiteral("Layout"), &L::Layout, &L::SetLayout, tlTop));
    P.push_back(Props::Property<L>(QStringLiteral("WordWrap"), &L::WordWrap, &L::SetWordWrap, false));
    P.push_back(ControlProps::OnClick());
    ControlProps::AddSize(P, DefaultWidth, DefaultHeight);
    return P;
}

void RegisterTLabel_TransparentUnit()
{
    RegisterControlsUnit();
    RegisterClass<TCustomLabel, TGraphicControl>(QStringLiteral("TCustomLabel"));
    RegisterClass<TLabel, TCustomLabel>(QStringLiteral("TLabel"), TLabel::Published());
}
