#include "toolkit/StdCtrls.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <utility>

namespace {

// A push button that Enter and Return press while it has the focus, as Space
// does: Qt leaves them to a dialog's default button, which a window has not.
class TButtonWidget : public QPushButton
{
protected:
    void keyPressEvent(QKeyEvent* E) override
    {
        if ((E->key() == Qt::Key_Return || E->key() == Qt::Key_Enter) && E->modifiers() == Qt::NoModifier) {
            click();
            return;
        }
        QPushButton::keyPressEvent(E);
    }
};

// A radio button whose check state only the control changes: a click on a
// cleared button selects it, a click on a selected one leaves it selected.
class TRadioWidget : public QRadioButton
{
public:
    explicit TRadioWidget(TRadioButton* Owner) : FOwner(Owner) { setAutoExclusive(false); }

protected:
    void nextCheckState() override
    {
        GuardedCall([this] { FOwner->SetChecked(true); });
        // The control may have refused; show what it holds.
        setChecked(FOwner->Checked());
    }
    void keyPressEvent(QKeyEvent* E) override
    {
        // The arrows move the selection within the group, as in every
        // desktop toolkit's radio groups; Qt's own way needs auto-exclusion.
        int Step = 0;
        switch (E->key()) {
        case Qt::Key_Up:
        case Qt::Key_Left:
            Step = -1;
            break;
        case Qt::Key_Down:
        case Qt::Key_Right:
            Step = 1;
            break;
        default:
            QRadioButton::keyPressEvent(E);
            return;
        }
        GuardedCall([&] { FOwner->MoveInGroup(Step); });
    }

private:
    TRadioButton* FOwner;
};

} // namespace

// ---------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner, new TButtonWidget())
{
    SetBounds(0, 0, DefaultWidth, DefaultHeight);
    QPushButton* W = PushButton();
    W->setAutoDefault(false);
    QObject::connect(W, &QPushButton::clicked, W, [this] { GuardedCall([this] { Click(); }); });
}

QPushButton* TButton::PushButton() const
{
    return static_cast<QPushButton*>(Widget());
}

void TButton::SetDefault(bool Value)
{
    if (Value == FDefault)
        return;
    FDefault = Value;
    PushButton()->setDefault(Value);
}

void TButton::TextChanged()
{
    PushButton()->setText(Caption());
    TWinControl::TextChanged();
}

TPropList TButton::Published()
{
    TPropList L;
    L.push_back(Props::Property<TButton>(QStringLiteral("Cancel"), &TButton::Cancel, &TButton::SetCancel, false));
    L.push_back(ControlProps::Caption());
    L.push_back(Props::Property<TButton>(QStringLiteral("Default"), &TButton::Default, &TButton::SetDefault, false));
    ControlProps::AddFont(L);
    L.push_back(ControlProps::ParentFont());
    L.push_back(ControlProps::OnClick());
    ControlProps::AddSize(L, DefaultWidth, DefaultHeight);
    return L;
}

// ---------------------------------------------------------------------------
// TRadioButton

TRadioButton::TRadioButton(TComponent* AOwner) : TWinControl(AOwner, new TRadioWidget(this))
{
    SetBounds(0, 0, DefaultWidth, DefaultHeight);
}

QRadioButton* TRadioButton::RadioButton() const
{
    return static_cast<QRadioButton*>(Widget());
}

void TRadioButton::SetChecked(bool Value)
{
    if (Value == FChecked)
        return;
    FChecked = Value;
    // Qt's button announces the change to a screen reader.
    RadioButton()->setChecked(Value);
    if (Value)
        for (TRadioButton* Sibling : Group())
            if (Sibling != this)
                Sibling->SetChecked(false);
    UpdateTabStops();
    // A description selects its buttons before the window has any behaviour.
    if (Value && !HasState(csLoading))
        Click();
}

std::vector<TRadioButton*> TRadioButton::Group() const
{
    if (!Parent())
        return {const_cast<TRadioButton*>(this)};
    std::vector<TRadioButton*> L;
    for (TWinControl* C : Parent()->TabList())
        if (auto* R = dynamic_cast<TRadioButton*>(C))
            L.push_back(R);
    return L;
}

void TRadioButton::MoveInGroup(int Step)
{
    std::vector<TRadioButton*> L;
    for (TRadioButton* R : Group())
        if (R == this || (R->Enabled() && R->Visible()))
            L.push_back(R);
    const auto It = std::find(L.begin(), L.end(), this);
    if (It == L.end() || L.size() < 2)
        return;
    const auto N = static_cast<std::ptrdiff_t>(L.size());
    TRadioButton* Next = L[static_cast<size_t>(((It - L.begin()) + Step % N + N) % N)];
    Next->SetFocus();
    Next->SetChecked(true);
}

void TRadioButton::UpdateTabStops()
{
    // Tab reaches a group at its selected button, as users of other desktop
    // programs expect; a group with none selected (or only out of reach) at
    // each button.
    const std::vector<TRadioButton*> L = Group();
    const bool Reachable = std::any_of(L.begin(), L.end(), [](const TRadioButton* R) { return R->Checked() && R->Enabled() && R->Visible(); });
    for (TRadioButton* R : L)
        R->Widget()->setFocusPolicy(!Reachable || R->Checked() ? Qt::StrongFocus : Qt::ClickFocus);
}

QAccessible::Role TRadioButton::AccessibleRole() const
{
    return QAccessible::RadioButton;
}

void TRadioButton::AccessibleState(QAccessible::State& State) const
{
    State.checkable = true;
    State.checked = FChecked;
}

void TRadioButton::EnabledChanged()
{
    TWinControl::EnabledChanged();
    UpdateTabStops();
}

void TRadioButton::VisibleChanged()
{
    TWinControl::VisibleChanged();
    UpdateTabStops();
}

void TRadioButton::ParentChanged()
{
    TWinControl::ParentChanged();
    UpdateTabStops();
}

void TRadioButton::SetAlignment(TAlignment Value)
{
    if (Value == FAlignment)
        return;
    FAlignment = Value;
    Widget()->setLayoutDirection(Value == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
}

void TRadioButton::TextChanged()
{
    RadioButton()->setText(Caption());
    TWinControl::TextChanged();
}

TPropList TRadioButton::Published()
{
    TPropList L;
    L.push_back(Props::Property<TRadioButton>(QStringLiteral("Alignment"), &TRadioButton::Alignment, &TRadioButton::SetAlignment, DefaultAlignment));
    L.push_back(ControlProps::Caption());
    L.push_back(Props::Property<TRadioButton>(QStringLiteral("Checked"), &TRadioButton::Checked, &TRadioButton::SetChecked, false));
    ControlProps::AddFont(L);
    L.push_back(ControlProps::ParentFont());
    L.push_back(ControlProps::OnClick());
    ControlProps::AddSize(L, DefaultWidth, DefaultHeight);
    return L;
}

// ---------------------------------------------------------------------------
// TComboBox

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner, new QComboBox())
{
    SetColor(DefaultColor);
    SetBounds(0, 0, DefaultWidth, DefaultHeight);
    QComboBox* W = ComboBox();
    W->setEditable(true);
    QObject::connect(W, &QComboBox::activated, W, [this](int Index) { GuardedCall([this, Index] { UserChose(Index); }); });
}

QComboBox* TComboBox::ComboBox() const
{
    return static_cast<QComboBox*>(Widget());
}

void TComboBox::SetStyle(TComboBoxStyle Value)
{
    if (Value == FStyle)
        return;
    FStyle = Value;
    QComboBox* W = ComboBox();
    W->setEditable(Value == csDropDown || Value == csSimple);
    W->setCurrentIndex(FItemIndex);
}

void TComboBox::SetItems(const QStringList& Value)
{
    if (Value == FItems)
        return;
    FItems = Value;
    FItemIndex = -1;
    Refill();
}

void TComboBox::SetItem(int Index, const QString& Text)
{
    if (Index < 0 || Index >= ItemCount() || FItems[Index] == Text)
        return;
    FItems[Index] = Text;
    ComboBox()->setItemText(Index, Text);
}

void TComboBox::Refill()
{
    QComboBox* W = ComboBox();
    const QSignalBlocker Block(W);
    W->clear();
    W->addItems(FItems);
    // Qt selects the first item it is given; the control keeps its own choice.
    W->setCurrentIndex(FItemIndex);
}

int TComboBox::ItemIndex() const
{
    return FPendingItemIndex.value_or(FItemIndex);
}

void TComboBox::SetItemIndex(int Value)
{
    // Items may follow the index in a description.
    if (HasState(csLoading)) {
        FPendingItemIndex = Value;
        return;
    }
    if (Value < -1 || Value >= ItemCount() || Value == FItemIndex)
        return;
    FItemIndex = Value;
    QComboBox* W = ComboBox();
    const QSignalBlocker Block(W);
    W->setCurrentIndex(Value);
}

QString TComboBox::Text() const
{
    if (FStyle == csDropDown || FStyle == csSimple)
        return ComboBox()->currentText();
    return FItemIndex >= 0 ? FItems[FItemIndex] : QString();
}

void TComboBox::UserChose(int Index)
{
    FItemIndex = Index;
    OnChange(this);
}

void TComboBox::Loaded()
{
    TWinControl::Loaded();
    if (const std::optional<int> Pending = std::exchange(FPendingItemIndex, std::nullopt))
        SetItemIndex(*Pending);
}

TPropList TComboBox::Published()
{
    TPropList L;
    L.push_back(Props::Property<TComboBox>(QStringLiteral("Style"), &TComboBox::Style, &TComboBox::SetStyle, DefaultStyle));
    L.push_back(ControlProps::Color(DefaultColor));
    ControlProps::AddFont(L);
    L.push_back(ControlProps::ParentFont());
    L.push_back(Props::Property<TComboBox>(QStringLiteral("Items.Strings"), &TComboBox::Items, &TComboBox::SetItems, QStringList()));
    L.push_back(Props::Property<TComboBox>(QStringLiteral("ItemIndex"), &TComboBox::ItemIndex, &TComboBox::SetItemIndex, DefaultItemIndex));
    L.push_back(Props::Event(QStringLiteral("OnChange"), &TComboBox::OnChange));
    ControlProps::AddSize(L, DefaultWidth, DefaultHeight);
    return L;
}

// ---------------------------------------------------------------------------
// TGroupBox

TGroupBox::TGroupBox(TComponent* AOwner) : TWinControl(AOwner, new QGroupBox())
{
    SetControlStyle(ControlStyle() | csAcceptsControls);
    SetBounds(0, 0, DefaultWidth, DefaultHeight);
}

QGroupBox* TGroupBox::GroupBox() const
{
    return static_cast<QGroupBox*>(Widget());
}

void TGroupBox::TextChanged()
{
    GroupBox()->setTitle(Caption());
    TWinControl::TextChanged();
}

TPropList TGroupBox::Published()
{
    TPropList L;
    L.push_back(ControlProps::Caption());
    ControlProps::AddFont(L);
    L.push_back(ControlProps::ParentFont());
    ControlProps::AddSize(L, DefaultWidth, DefaultHeight);
    return L;
}

void RegisterStdCtrlsUnit()
{
    RegisterControlsUnit();
    RegisterClass<TButton, TWinControl>(QStringLiteral("TButton"), TButton::Published());
    RegisterClass<TRadioButton, TWinControl>(QStringLiteral("TRadioButton"), TRadioButton::Published());
    RegisterClass<TComboBox, TWinControl>(QStringLiteral("TComboBox"), TComboBox::Published());
    RegisterClass<TGroupBox, TWinControl>(QStringLiteral("TGroupBox"), TGroupBox::Published());
}
