#pragma once

#include <QAccessible>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <optional>
#include <vector>

#include "toolkit/Classes.h"
#include "toolkit/Graphics.h"
#include "toolkit/Streaming.h"

class QLabel;
class TWinControl;

enum TAlign
{
    alNone,
    alTop,
    alBottom,
    alLeft,
    alRight,
    alClient
};
template <>
struct TEnumInfo<TAlign>
{
    static constexpr std::array Names{"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"};
};

enum TAnchorKind
{
    akLeft,
    akTop,
    akRight,
    akBottom
};
using TAnchors = TSet<TAnchorKind>;
template <>
struct TEnumInfo<TAnchorKind>
{
    static constexpr std::array Names{"akLeft", "akTop", "akRight", "akBottom"};
};

enum TAlignment
{
    taLeftJustify,
    taRightJustify,
    taCenter
};
template <>
struct TEnumInfo<TAlignment>
{
    static constexpr std::array Names{"taLeftJustify", "taRightJustify", "taCenter"};
};

enum TBiDiMode
{
    bdLeftToRight,
    bdRightToLeft,
    bdRightToLeftNoAlign,
    bdRightToLeftReadingOnly
};
template <>
struct TEnumInfo<TBiDiMode>
{
    static constexpr std::array Names{"bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign", "bdRightToLeftReadingOnly"};
};

// Control style flags.
enum TControlStyleFlag : unsigned
{
    csAcceptsControls = 0x1, // other controls may be placed on it
    csOpaque = 0x2,          // paints its whole area itself
    csReplicatable = 0x4,    // may be painted into another surface
    csClickEvents = 0x8,     // a mouse click fires OnClick
    csSetCaption = 0x10      // a new name becomes the caption while it is empty
};
using TControlStyle = unsigned;

// A control: a component with bounds on its parent, mapped onto one QWidget.
class TControl : public TComponent
{
public:
    // Defaults of the published properties, for the fields and the table alike.
    static constexpr TAlign DefaultAlign = alNone;
    static constexpr TAnchors DefaultAnchors{akLeft, akTop};
    static constexpr bool DefaultVisible = true;
    static constexpr bool DefaultEnabled = true;
    static constexpr bool DefaultParentFont = true;
    static constexpr TBiDiMode DefaultBiDiMode = bdLeftToRight;
    static constexpr bool DefaultParentBiDiMode = true;

    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    TWinControl* Parent() const { return FParent; }
    virtual void SetParent(TWinControl* AParent);

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetLeft(int Value);
    void SetTop(int Value);
    void SetWidth(int Value);
    void SetHeight(int Value);
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    QRect BoundsRect() const { return QRect(FLeft, FTop, FWidth, FHeight); }
    virtual QRect ClientRect() const { return QRect(0, 0, FWidth, FHeight); }
    int ClientWidth() const { return ClientRect().width(); }
    int ClientHeight() const { return ClientRect().height(); }

    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign Value);
    TAnchors Anchors() const { return FAnchors; }
    void SetAnchors(TAnchors Value);

    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);
    // Makes the control visible, asking its parents to show it (a page
    // container brings the page forward).
    void Show();
    void Hide() { SetVisible(false); }
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);

    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& Value);

    TFont& Font() { return FFont; }
    const TFont& Font() const { return FFont; }
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool Value);
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool Value);
    TBiDiMode BiDiMode() const { return FBiDiMode; }
    void SetBiDiMode(TBiDiMode Value);
    bool ParentBiDiMode() const { return FParentBiDiMode; }
    void SetParentBiDiMode(bool Value);
    bool UseRightToLeftAlignment() const;
    bool UseRightToLeftReading() const;

    TControlStyle ControlStyle() const { return FControlStyle; }
    void SetControlStyle(TControlStyle Value);

    void BringToFront();
    void Invalidate();

    // Fires OnClick.
    virtual void Click();

    QWidget* Widget() const { return FWidget; }
    // The control whose widget W is, or null.
    static TControl* OfWidget(const QObject* W);

    // What a screen reader is told (Accessibility.cpp). NoRole leaves the
    // widget to Qt's own accessible interface; any other role puts the
    // control's in its place.
    virtual QAccessible::Role AccessibleRole() const;
    virtual QString AccessibleName() const;
    // Adds what the role implies (a radio button's check).
    virtual void AccessibleState(QAccessible::State& State) const;
    // The control whose caption names this one to a screen reader (a label
    // beside a drop-down), and the controls this one names.
    TControl* LabelledBy() const { return FLabelledBy; }
    void SetLabelledBy(TControl* Value);
    const std::vector<TControl*>& LabelFor() const { return FLabelFor; }
    // Tells a screen reader that the name changed, as Qt does for a QLabel's
    // text, and so the names of the controls it labels.
    void AccessibleNameChanged();
    // Said after the name and role when the control gets the focus (a
    // window's when it comes forward), and at once when it changes while the
    // control keeps the focus.
    const QString& AccessibleDescription() const { return FAccessibleDescription; }
    void SetAccessibleDescription(const QString& Value);

    TNotifyEvent OnClick;

    void ReadState(TReader& Reader) override;
    void Loaded() override;

    static TPropList Published();

protected:
    // Every concrete control attaches its widget once, in its constructor.
    void AttachWidget(QWidget* W);

    // Notifications: the caption, the font or the colour changed; a
    // character typed with the window offered as a possible accelerator.
    virtual void TextChanged();
    virtual void FontChanged();
    virtual void ColorChanged();
    virtual void EnabledChanged();
    virtual void VisibleChanged();
    virtual void BoundsChanged();
    virtual void ParentChanged();

public:
    // The accelerator notification; true when the key was handled
    // (KeyboardNavigation.cpp).
    virtual bool DialogChar(QChar Key);

private:
    friend class TWinControl;
    void ApplyGeometry();
    void ApplyPalette();
    void FontAttributeChanged();
    // Takes the parent's font and colour, each where the control follows
    // the parent's; one that already matches stays untouched. Called when
    // the parent changes, its font or colour changes, or a Parent flag is set.
    void FollowParent();
    void UpdateBuddyLabel(const QString& Name);

    TWinControl* FParent = nullptr;
    int FLeft = 0;
    int FTop = 0;
    int FWidth = 0;
    int FHeight = 0;
    TAlign FAlign = DefaultAlign;
    TAnchors FAnchors = DefaultAnchors;
    bool FVisible = DefaultVisible;
    bool FEnabled = DefaultEnabled;
    QString FCaption;
    TFont FFont;
    bool FParentFont = DefaultParentFont;
    TColor FColor = clWindow;
    bool FParentColor = false;
    TBiDiMode FBiDiMode = DefaultBiDiMode;
    bool FParentBiDiMode = DefaultParentBiDiMode;
    TControlStyle FControlStyle = csClickEvents;
    QPointer<QWidget> FWidget;
    bool FInFontChange = false;
    TControl* FLabelledBy = nullptr;
    std::vector<TControl*> FLabelFor;
    QPointer<QLabel> FBuddyLabel;
    QString FAccessibleDescription;
};

// A control with a window of its own that holds child controls.
class TWinControl : public TControl
{
public:
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;

    int ControlCount() const { return static_cast<int>(FControls.size()); }
    TControl* Controls(int Index) const { return FControls.at(static_cast<size_t>(Index)); }
    void InsertControl(TControl* C);
    void RemoveControl(TControl* C);

    // Tab order and focus: KeyboardNavigation.cpp.
    int TabOrder() const;
    void SetTabOrder(int Value);
    // The windowed children in tab order.
    std::vector<TWinControl*> TabList() const;

    // The request to make a child visible to the user, passed up the parent chain.
    virtual void ShowControl(TControl* AControl);

    bool CanFocus() const;
    void SetFocus();
    // Gives the focus to the first control within this one that Tab would
    // reach, in tab order; false when none can take it.
    bool SelectFirst();

    // Re-lays the aligned and anchored children.
    void Realign();

    void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;
    bool DialogChar(QChar Key) override;
    void ReadState(TReader& Reader) override;
    void Loaded() override;

    static TPropList Published();

protected:
    TWinControl(TComponent* AOwner, QWidget* W);
    void BoundsChanged() override;
    void FontChanged() override;
    void ColorChanged() override;

private:
    friend class TControl;
    void ChildrenFollowParent();
    void AlignControls();
    void AnchorControls(int OldWidth, int OldHeight);
    void ApplyTabOrder();
    void FixupTabList();

    std::vector<TControl*> FControls;
    std::vector<TWinControl*> FTabList;
    // A tab order read before all siblings exist; sorted in once they do.
    std::optional<int> FPendingTabOrder;
    bool FAligning = false;
    // Above zero while the children are being read.
    int FAlignLevel = 0;
    // The client size the anchored children were last placed for.
    std::optional<QSize> FLaidOutSize;
};

// A windowless control: a QWidget without a background of its own that
// paints on its parent's surface; it fills its area only when csOpaque is set.
class TGraphicControl : public TControl
{
public:
    explicit TGraphicControl(TComponent* AOwner);
    ~TGraphicControl() override;

    // Valid while Paint runs.
    TCanvas& Canvas() { return FCanvas; }

    QAccessible::Role AccessibleRole() const override;

    static TPropList Published();

protected:
    virtual void Paint();

private:
    friend class TGraphicWidget;
    void DoPaint(QPainter& Painter);

    TCanvas FCanvas;
};

// A windowed control that paints itself through a canvas.
class TCustomControl : public TWinControl
{
public:
    explicit TCustomControl(TComponent* AOwner);

    TCanvas& Canvas() { return FCanvas; }

    QAccessible::Role AccessibleRole() const override;

    static TPropList Published();

protected:
    virtual void Paint();

private:
    friend class TCustomWidget;
    void DoPaint(QPainter& Painter);

    TCanvas FCanvas;
};

// Rows that the standard controls publish as they need them.
namespace ControlProps {
TPropInfo Caption();
TPropInfo Color(TColor Default);
TPropInfo ParentColor();
// Appends the font's rows.
void AddFont(TPropList& L);
// Appends Width and Height with the control's own default size.
void AddSize(TPropList& L, int Width, int Height);
TPropInfo ParentFont();
TPropInfo BiDiMode();
TPropInfo ParentBiDiMode();
TPropInfo OnClick();
} // namespace ControlProps

// A caption as a screen reader should say it: accelerator marks dropped
// ("&&" stays one "&") when StripAccel, line breaks and runs of blanks as one
// space, no blanks around.
QString AccessibleText(const QString& Caption, bool StripAccel = true);

// Calls Fn, passing any exception to the handler of unexpected errors: the
// way every Qt signal and event reaches a handler of the program.
void GuardedCall(const std::function<void()>& Fn);

// The handler of unexpected errors that GuardedCall passes an exception to,
// as its class name and message. The application object installs its own;
// without one the error is logged as a warning.
using TExceptionHandler = std::function<void(const QString& ClassName, const QString& Message)>;
void SetExceptionHandler(TExceptionHandler Handler);

// Registers the classes of this unit (and of Classes); safe to call again.
void RegisterControlsUnit();
