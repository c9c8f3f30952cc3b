#include "toolkit/StdCtrls.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include <utility>

namespace {

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

private:
    TRadioButton* FOwner;
};

} // namespace

// ---------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner, new QPushButton())
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
    RadioButton()->setChecked(Value);
    if (!Value)
        return;
    if (Parent())
        for (int I = 0; I < Parent()->ControlCount(); ++I)
            if (auto* Sibling = dynamic_cast<TRadioButton*>(Parent()->Controls(I)); Sibling && Sibling != this)
                Sibling->SetChecked(false);
    // A description selects its buttons before the window has any behaviour.
    if (!HasState(csLoading))
        Click();
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
