#include "toolkit/Controls.h"

#include "toolkit/Accessibility.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <typeinfo>

namespace {

// The widget's link back to its control, for the accessible interfaces.
constexpr char ControlProperty[] = "lumidorControl";

TExceptionHandler& ExceptionHandler()
{
    static TExceptionHandler Handler;
    return Handler;
}

QString ExceptionClassName(const std::exception& E)
{
    int Status = 0;
    char* Name = abi::__cxa_demangle(typeid(E).name(), nullptr, nullptr, &Status);
    QString Result = QString::fromLatin1(Status == 0 && Name ? Name : typeid(E).name());
    std::free(Name);
    return Result;
}

QString ExceptionMessage(const std::exception& E)
{
    if (const auto* Own = dynamic_cast<const EError*>(&E))
        return Own->Message();
    return QString::fromLocal8Bit(E.what());
}

// Runs a control's Paint with its canvas on Painter, set to the control's
// font and colour.
void PaintThrough(TCanvas& Canvas, QPainter& Painter, const TControl& Control, const std::function<void()>& Paint)
{
    Canvas.SetPainter(&Painter);
    Canvas.Font = Control.Font();
    Canvas.Font.OnChange = nullptr;
    Canvas.BrushColor = Control.Color();
    Canvas.BrushStyle = bsSolid;
    Canvas.ApplyFont();
    Paint();
    Canvas.SetPainter(nullptr);
}

void ReportException(const QString& ClassName, const QString& Message)
{
    if (const TExceptionHandler& Handler = ExceptionHandler())
        Handler(ClassName, Message);
    else
        qWarning("Unhandled %s: %s", qPrintable(ClassName), qPrintable(Message));
}

} // namespace

void GuardedCall(const std::function<void()>& Fn)
{
    try {
        Fn();
    } catch (const std::exception& E) {
        ReportException(ExceptionClassName(E), ExceptionMessage(E));
    } catch (...) {
        ReportException(QStringLiteral("unknown"), QStringLiteral("An error of unknown kind"));
    }
}

void SetExceptionHandler(TExceptionHandler Handler)
{
    ExceptionHandler() = std::move(Handler);
}

// The widget of a windowless control: no background, painted through Paint.
class TGraphicWidget : public QWidget
{
public:
    explicit TGraphicWidget(TGraphicControl* Owner) : FOwner(Owner)
    {
        setAttribute(Qt::WA_NoSystemBackground);
        setAutoFillBackground(false);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter P(this);
        GuardedCall([&] { FOwner->DoPaint(P); });
    }
    void mouseReleaseEvent(QMouseEvent* E) override
    {
        if (E->button() == Qt::LeftButton && rect().contains(E->position().toPoint()) && (FOwner->ControlStyle() & csClickEvents))
            GuardedCall([&] { FOwner->Click(); });
        QWidget::mouseReleaseEvent(E);
    }

private:
    TGraphicControl* FOwner;
};

// The widget of a windowed control that paints itself.
class TCustomWidget : public QWidget
{
public:
    explicit TCustomWidget(TCustomControl* Owner) : FOwner(Owner) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter P(this);
        GuardedCall([&] { FOwner->DoPaint(P); });
    }

private:
    TCustomControl* FOwner;
};

// ---------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner)
{
    FFont.OnChange = [this] { FontAttributeChanged(); };
}

TControl::~TControl()
{
    Destroying();
    FFont.OnChange = nullptr;
    SetLabelledBy(nullptr);
    for (TControl* Named : std::vector<TControl*>(FLabelFor)) {
        Named->FLabelledBy = nullptr;
        Named->AccessibleNameChanged();
    }
    if (FParent)
        FParent->RemoveControl(this);
    delete FBuddyLabel.data();
    if (FWidget)
        FWidget->setProperty(ControlProperty, QVariant());
    delete FWidget.data();
}

void TControl::AttachWidget(QWidget* W)
{
    InstallControlAccessibility();
    FWidget = W;
    W->setProperty(ControlProperty, QVariant::fromValue(static_cast<void*>(this)));
    W->setFont(FFont.ToQFont());
    W->setEnabled(FEnabled);
    ApplyPalette();
    ApplyGeometry();
}

void TControl::SetParent(TWinControl* AParent)
{
    if (AParent == FParent)
        return;
    if (AParent == this)
        throw EError(QStringLiteral("A control cannot be its own parent"));
    if (FParent)
        FParent->RemoveControl(this);
    if (AParent)
        AParent->InsertControl(this);
    ParentChanged();
}

void TControl::ParentChanged()
{
    FollowParent();
    if (FLabelledBy)
        AccessibleNameChanged();
}

void TControl::FollowParent()
{
    if (!FParent)
        return;
    if (FParentFont) {
        FInFontChange = true;
        FFont.Assign(FParent->Font());
        FInFontChange = false;
    }
    if (FParentColor && FParent->Color() != FColor) {
        FColor = FParent->Color();
        ApplyPalette();
        ColorChanged();
    }
}

void TControl::SetLeft(int Value)
{
    SetBounds(Value, FTop, FWidth, FHeight);
}

void TControl::SetTop(int Value)
{
    SetBounds(FLeft, Value, FWidth, FHeight);
}

void TControl::SetWidth(int Value)
{
    SetBounds(FLeft, FTop, Value, FHeight);
}

void TControl::SetHeight(int Value)
{
    SetBounds(FLeft, FTop, FWidth, Value);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight)
{
    AWidth = std::max(0, AWidth);
    AHeight = std::max(0, AHeight);
    if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight)
        return;
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    ApplyGeometry();
    BoundsChanged();
    if (FParent && !FParent->FAligning && FAlign != alNone)
        FParent->Realign();
}

void TControl::ApplyGeometry()
{
    if (FWidget && !FWidget->isWindow())
        FWidget->setGeometry(FLeft, FTop, FWidth, FHeight);
}

void TControl::BoundsChanged()
{
}

void TControl::SetAlign(TAlign Value)
{
    if (Value == FAlign)
        return;
    FAlign = Value;
    if (FParent)
        FParent->Realign();
}

void TControl::SetAnchors(TAnchors Value)
{
    if (Value == FAnchors)
        return;
    FAnchors = Value;
}

void TControl::SetVisible(bool Value)
{
    if (Value == FVisible)
        return;
    FVisible = Value;
    if (FWidget && FWidget->parentWidget())
        FWidget->setVisible(Value);
    VisibleChanged();
    if (FParent && FAlign != alNone)
        FParent->Realign();
}

void TControl::VisibleChanged()
{
}

void TControl::Show()
{
    if (FParent)
        FParent->ShowControl(this);
    SetVisible(true);
}

void TControl::SetEnabled(bool Value)
{
    if (Value == FEnabled)
        return;
    FEnabled = Value;
    if (FWidget)
        FWidget->setEnabled(Value);
    EnabledChanged();
}

void TControl::EnabledChanged()
{
    Invalidate();
}

void TControl::SetCaption(const QString& Value)
{
    if (Value == FCaption)
        return;
    FCaption = Value;
    TextChanged();
    AccessibleNameChanged();
}

TControl* TControl::OfWidget(const QObject* W)
{
    return W ? static_cast<TControl*>(W->property(ControlProperty).value<void*>()) : nullptr;
}

void TControl::TextChanged()
{
    Invalidate();
}

void TControl::FontAttributeChanged()
{
    // A font set on the control itself no longer follows the parent's.
    if (!FInFontChange)
        FParentFont = false;
    if (FWidget)
        FWidget->setFont(FFont.ToQFont());
    ApplyPalette();
    FontChanged();
}

void TControl::FontChanged()
{
    Invalidate();
}

void TControl::SetParentFont(bool Value)
{
    if (Value == FParentFont)
        return;
    FParentFont = Value;
    FollowParent();
}

void TControl::SetColor(TColor Value)
{
    if (Value == FColor)
        return;
    FColor = Value;
    FParentColor = false;
    ApplyPalette();
    ColorChanged();
}

void TControl::ColorChanged()
{
    Invalidate();
}

void TControl::SetParentColor(bool Value)
{
    if (Value == FParentColor)
        return;
    FParentColor = Value;
    FollowParent();
}

void TControl::ApplyPalette()
{
    if (!FWidget)
        return;
    QPalette P = FWidget->palette();
    const QColor Text = ColorToQColor(FFont.Color());
    for (QPalette::ColorRole Role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
        P.setColor(QPalette::Active, Role, Text);
        P.setColor(QPalette::Inactive, Role, Text);
    }
    P.setColor(QPalette::Window, ColorToQColor(FColor));
    FWidget->setPalette(P);
}

void TControl::SetBiDiMode(TBiDiMode Value)
{
    if (Value == FBiDiMode)
        return;
    FBiDiMode = Value;
    FParentBiDiMode = false;
    if (FWidget)
        FWidget->setLayoutDirection(Value == bdRightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    Invalidate();
}

void TControl::SetParentBiDiMode(bool Value)
{
    if (Value == FParentBiDiMode)
        return;
    if (Value && FParent)
        SetBiDiMode(FParent->BiDiMode());
    FParentBiDiMode = Value;
}

bool TControl::UseRightToLeftAlignment() const
{
    return FBiDiMode == bdRightToLeft;
}

bool TControl::UseRightToLeftReading() const
{
    return FBiDiMode != bdLeftToRight;
}

void TControl::SetControlStyle(TControlStyle Value)
{
    if (Value == FControlStyle)
        return;
    FControlStyle = Value;
    Invalidate();
}

void TControl::BringToFront()
{
    if (FWidget)
        FWidget->raise();
    if (FParent) {
        auto& L = FParent->FControls;
        L.erase(std::remove(L.begin(), L.end(), this), L.end());
        L.push_back(this);
    }
}

void TControl::Invalidate()
{
    if (FWidget)
        FWidget->update();
}

void TControl::Click()
{
    OnClick(this);
}

void TControl::ReadState(TReader& Reader)
{
    // The parent first, so that bounds, fonts and tab order apply within it.
    if (auto* P = dynamic_cast<TWinControl*>(Reader.Parent())) {
        if (!(P->ControlStyle() & csAcceptsControls))
            throw EReadError(Reader.Where(Reader.Line())
                + QStringLiteral("%1 cannot be placed on %2, which does not accept controls").arg(ClassName(), P->Name()));
        SetParent(P);
    }
    TComponent::ReadState(Reader);
}

void TControl::Loaded()
{
    TComponent::Loaded();
    FollowParent();
}

TPropList TControl::Published()
{
    TPropList L;
    L.push_back(Props::Property<TControl>(QStringLiteral("Left"), &TControl::Left, &TControl::SetLeft, 0));
    L.push_back(Props::Property<TControl>(QStringLiteral("Top"), &TControl::Top, &TControl::SetTop, 0));
    ControlProps::AddSize(L, 0, 0);
    L.push_back(Props::Property<TControl>(QStringLiteral("Align"), &TControl::Align, &TControl::SetAlign, DefaultAlign));
    L.push_back(Props::Property<TControl>(QStringLiteral("Anchors"), &TControl::Anchors, &TControl::SetAnchors, DefaultAnchors));
    L.push_back(Props::Property<TControl>(QStringLiteral("Enabled"), &TControl::Enabled, &TControl::SetEnabled, DefaultEnabled));
    L.push_back(Props::Property<TControl>(QStringLiteral("Visible"), &TControl::Visible, &TControl::SetVisible, DefaultVisible));
    return L;
}

namespace ControlProps {

TPropInfo Caption()
{
    return Props::Property<TControl>(QStringLiteral("Caption"), &TControl::Caption, &TControl::SetCaption, QString());
}

TPropInfo Color(TColor Default)
{
    // A colour taken from the parent is not the control's own.
    return Props::Property<TControl>(QStringLiteral("Color"), &TControl::Color, &TControl::SetColor, Default,
        std::function<bool(const TControl&)>([](const TControl& C) { return !C.ParentColor(); }));
}

TPropInfo ParentColor()
{
    return Props::Property<TControl>(QStringLiteral("ParentColor"), &TControl::ParentColor, &TControl::SetParentColor, false);
}

void AddFont(TPropList& L)
{
    // Written whole when the control has a font of its own, so that reading
    // it back does not mix in the parent's.
    const std::function<bool(const TControl&)> OwnFont = [](const TControl& C) { return !C.ParentFont(); };
    L.push_back(Props::Accessor<TControl, TColor>(
        QStringLiteral("Font.Color"), [](const TControl& C) { return C.Font().Color(); },
        [](TControl& C, const TColor& V) { C.Font().SetColor(V); }, std::nullopt, OwnFont));
    L.push_back(Props::Accessor<TControl, int>(
        QStringLiteral("Font.Height"), [](const TControl& C) { return C.Font().Height(); },
        [](TControl& C, const int& V) { C.Font().SetHeight(V); }, std::nullopt, OwnFont));
    L.push_back(Props::Accessor<TControl, QString>(
        QStringLiteral("Font.Name"), [](const TControl& C) { return C.Font().Name(); },
        [](TControl& C, const QString& V) { C.Font().SetName(V); }, std::nullopt, OwnFont));
    L.push_back(Props::Accessor<TControl, TFontStyles>(
        QStringLiteral("Font.Style"), [](const TControl& C) { return C.Font().Style(); },
        [](TControl& C, const TFontStyles& V) { C.Font().SetStyle(V); }, std::nullopt, OwnFont));
}

void AddSize(TPropList& L, int Width, int Height)
{
    L.push_back(Props::Property<TControl>(QStringLiteral("Width"), &TControl::Width, &TControl::SetWidth, Width));
    L.push_back(Props::Property<TControl>(QStringLiteral("Height"), &TControl::Height, &TControl::SetHeight, Height));
}

TPropInfo ParentFont()
{
    return Props::Property<TControl>(QStringLiteral("ParentFont"), &TControl::ParentFont, &TControl::SetParentFont, TControl::DefaultParentFont);
}

TPropInfo BiDiMode()
{
    return Props::Property<TControl>(QStringLiteral("BiDiMode"), &TControl::BiDiMode, &TControl::SetBiDiMode, TControl::DefaultBiDiMode,
        std::function<bool(const TControl&)>([](const TControl& C) { return !C.ParentBiDiMode(); }));
}

TPropInfo ParentBiDiMode()
{
    return Props::Property<TControl>(QStringLiteral("ParentBiDiMode"), &TControl::ParentBiDiMode, &TControl::SetParentBiDiMode, TControl::DefaultParentBiDiMode);
}

TPropInfo OnClick()
{
    return Props::Event(QStringLiteral("OnClick"), &TControl::OnClick);
}

} // namespace ControlProps

// ---------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TWinControl(AOwner, nullptr)
{
}

TWinControl::TWinControl(TComponent* AOwner, QWidget* W) : TControl(AOwner)
{
    AttachWidget(W ? W : new QWidget());
}

TWinControl::~TWinControl()
{
    Destroying();
    // Child controls go with their parent, last first.
    while (!FControls.empty()) {
        TControl* C = FControls.back();
        RemoveControl(C);
        FreeComponent(C);
    }
}

void TWinControl::InsertControl(TControl* C)
{
    if (!C || C->FParent == this)
        return;
    FControls.push_back(C);
    C->FParent = this;
    // A child read from a description has its place in this control's size as
    // read; once loading is over, anchors follow any change from that size.
    if (HasState(csLoading))
        FLaidOutSize = ClientRect().size();
    if (auto* W = dynamic_cast<TWinControl*>(C))
        FTabList.push_back(W);
    if (QWidget* CW = C->Widget()) {
        CW->setParent(Widget());
        C->ApplyGeometry();
        CW->setVisible(C->Visible());
    }
    if (C->Align() != alNone)
        Realign();
}

void TWinControl::RemoveControl(TControl* C)
{
    auto It = std::find(FControls.begin(), FControls.end(), C);
    if (It == FControls.end())
        return;
    FControls.erase(It);
    FTabList.erase(std::remove(FTabList.begin(), FTabList.end(), C), FTabList.end());
    C->FParent = nullptr;
    if (QWidget* CW = C->Widget(); CW && !C->HasState(csDestroying)) {
        CW->hide();
        CW->setParent(nullptr);
    }
    if (!HasState(csDestroying) && C->Align() != alNone)
        Realign();
}

void TWinControl::ReadState(TReader& Reader)
{
    // The children are laid out once they are all read, each with all its
    // properties: one read hidden is never laid out as shown in between.
    ++FAlignLevel;
    try {
        TControl::ReadState(Reader);
    } catch (...) {
        --FAlignLevel;
        throw;
    }
    --FAlignLevel;
    Realign();
    FixupTabList();
}

void TWinControl::ShowControl(TControl*)
{
    if (Parent())
        Parent()->ShowControl(this);
}

void TWinControl::Realign()
{
    if (FAligning || FAlignLevel > 0 || HasState(csDestroying))
        return;
    AlignControls();
}

void TWinControl::AlignControls()
{
    FAligning = true;
    const QRect Client = ClientRect();
    if (!HasState(csLoading) && FLaidOutSize)
        AnchorControls(FLaidOutSize->width(), FLaidOutSize->height());
    if (!HasState(csLoading))
        FLaidOutSize = Client.size();

    QRect R = Client;
    auto Ordered = [&](TAlign A) {
        std::vector<TControl*> L;
        for (TControl* C : FControls)
            if (C->Align() == A && C->Visible())
                L.push_back(C);
        std::stable_sort(L.begin(), L.end(), [A](TControl* X, TControl* Y) {
            switch (A) {
            case alTop:
                return X->Top() < Y->Top();
            case alBottom:
                return X->Top() + X->Height() > Y->Top() + Y->Height();
            case alLeft:
                return X->Left() < Y->Left();
            case alRight:
                return X->Left() + X->Width() > Y->Left() + Y->Width();
            default:
                return false;
            }
        });
        return L;
    };
    for (TControl* C : Ordered(alTop)) {
        C->SetBounds(R.left(), R.top(), R.width(), C->Height());
        R.setTop(R.top() + C->Height());
    }
    for (TControl* C : Ordered(alBottom)) {
        C->SetBounds(R.left(), R.top() + R.height() - C->Height(), R.width(), C->Height());
        R.setHeight(std::max(0, R.height() - C->Height()));
    }
    const QRect Between = R;
    for (TControl* C : Ordered(alLeft)) {
        C->SetBounds(R.left(), R.top(), C->Width(), R.height());
        R.setLeft(R.left() + C->Width());
    }
    for (TControl* C : Ordered(alRight)) {
        C->SetBounds(R.left() + R.width() - C->Width(), R.top(), C->Width(), R.height());
        R.setWidth(std::max(0, R.width() - C->Width()));
    }
    for (TControl* C : Ordered(alClient))
        C->SetBounds(R.left(), R.top(), std::max(0, R.width()), std::max(0, R.height()));

    // A hidden control takes no room, yet follows the parent along the sides
    // its alignment stretches it, so that its size does not depend on when it
    // was hidden (a page behind the one in view, a control read hidden). Along
    // the stacking side it keeps its place, to slot in there once shown.
    const std::vector<TControl*> Children = FControls;
    for (TControl* C : Children) {
        if (C->Visible())
            continue;
        switch (C->Align()) {
        case alTop:
        case alBottom:
            C->SetBounds(Client.left(), C->Top(), Client.width(), C->Height());
            break;
        case alLeft:
        case alRight:
            C->SetBounds(C->Left(), Between.top(), C->Width(), Between.height());
            break;
        case alClient:
            C->SetBounds(R.left(), R.top(), std::max(0, R.width()), std::max(0, R.height()));
            break;
        default:
            break;
        }
    }
    FAligning = false;
}

void TWinControl::AnchorControls(int OldWidth, int OldHeight)
{
    const int DX = ClientWidth() - OldWidth;
    const int DY = ClientHeight() - OldHeight;
    if (DX == 0 && DY == 0)
        return;
    for (TControl* C : FControls) {
        if (C->Align() != alNone)
            continue;
        const TAnchors A = C->Anchors();
        int L = C->Left(), T = C->Top(), W = C->Width(), H = C->Height();
        if (A.Contains(akRight)) {
            if (A.Contains(akLeft))
                W += DX;
            else
                L += DX;
        }
        if (A.Contains(akBottom)) {
            if (A.Contains(akTop))
                H += DY;
            else
                T += DY;
        }
        C->SetBounds(L, T, W, H);
    }
}

void TWinControl::BoundsChanged()
{
    Realign();
}

void TWinControl::FontChanged()
{
    TControl::FontChanged();
    ChildrenFollowParent();
}

void TWinControl::ColorChanged()
{
    TControl::ColorChanged();
    ChildrenFollowParent();
}

void TWinControl::ChildrenFollowParent()
{
    for (TControl* C : FControls)
        C->FollowParent();
}

void TWinControl::GetChildren(const TGetChildProc& Proc, TComponent* Root)
{
    for (TControl* C : FControls)
        if (C->Owner() == Root)
            Proc(C);
}

void TWinControl::Loaded()
{
    TControl::Loaded();
    ApplyTabOrder();
    Realign();
}

TPropList TWinControl::Published()
{
    TPropList L;
    L.push_back(Props::Property<TWinControl>(QStringLiteral("TabOrder"), &TWinControl::TabOrder, &TWinControl::SetTabOrder, -1));
    L.push_back(Props::Reference<TControl, TControl>(QStringLiteral("LabelledBy"), &TControl::LabelledBy, &TControl::SetLabelledBy));
    return L;
}

// ---------------------------------------------------------------------------
// TGraphicControl, TCustomControl

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner)
{
    AttachWidget(new TGraphicWidget(this));
}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::DoPaint(QPainter& Painter)
{
    PaintThrough(FCanvas, Painter, *this, [this] { Paint(); });
}

void TGraphicControl::Paint()
{
}

QAccessible::Role TGraphicControl::AccessibleRole() const
{
    return QAccessible::Client;
}

TPropList TGraphicControl::Published()
{
    return {};
}

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner, new TCustomWidget(this))
{
}

void TCustomControl::DoPaint(QPainter& Painter)
{
    PaintThrough(FCanvas, Painter, *this, [this] { Paint(); });
}

void TCustomControl::Paint()
{
}

QAccessible::Role TCustomControl::AccessibleRole() const
{
    return QAccessible::Pane;
}

TPropList TCustomControl::Published()
{
    return {};
}

void RegisterControlsUnit()
{
    RegisterClassesUnit();
    RegisterClass<TControl, TComponent>(QStringLiteral("TControl"), TControl::Published());
    RegisterClass<TWinControl, TControl>(QStringLiteral("TWinControl"), TWinControl::Published());
    RegisterClass<TGraphicControl, TControl>(QStringLiteral("TGraphicControl"), TGraphicControl::Published());
    RegisterClass<TCustomControl, TWinControl>(QStringLiteral("TCustomControl"), TCustomControl::Published());
}
