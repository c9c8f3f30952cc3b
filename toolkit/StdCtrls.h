#pragma once

#include "toolkit/Controls.h"

class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

// A push button. A user's click fires OnClick.
class TButton : public TWinControl
{
public:
    static constexpr int DefaultWidth = 75;
    static constexpr int DefaultHeight = 25;

    explicit TButton(TComponent* AOwner);

    bool Default() const { return FDefault; }
    void SetDefault(bool Value);
    bool Cancel() const { return FCancel; }
    void SetCancel(bool Value) { FCancel = Value; }

    static TPropList Published();

protected:
    void TextChanged() override;

private:
    QPushButton* PushButton() const;

    bool FDefault = false;
    bool FCancel = false;
};

// A radio button. Buttons with the same parent form one group: selecting
// one clears the others. OnClick fires whenever the button becomes selected,
// by the user or by the program (not while a description is read).
class TRadioButton : public TWinControl
{
public:
    static constexpr int DefaultWidth = 113;
    static constexpr int DefaultHeight = 17;
    static constexpr TAlignment DefaultAlignment = taRightJustify;

    explicit TRadioButton(TComponent* AOwner);

    bool Checked() const { return FChecked; }
    void SetChecked(bool Value);
    // Side of the text: taRightJustify puts it right of the button.
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value);

    // The buttons of its group (itself and the radio buttons beside it on
    // its parent), in tab order.
    std::vector<TRadioButton*> Group() const;
    // Selects and focuses the enabled, visible button of the group Step
    // places on, wrapping round: the arrow keys.
    void MoveInGroup(int Step);

    QAccessible::Role AccessibleRole() const override;
    void AccessibleState(QAccessible::State& State) const override;

    static TPropList Published();

protected:
    void TextChanged() override;
    void EnabledChanged() override;
    void VisibleChanged() override;
    void ParentChanged() override;

private:
    QRadioButton* RadioButton() const;
    void UpdateTabStops();

    bool FChecked = false;
    TAlignment FAlignment = DefaultAlignment;
};

enum TComboBoxStyle
{
    csDropDown,
    csSimple,
    csDropDownList,
    csOwnerDrawFixed,
    csOwnerDrawVariable
};
template <>
struct TEnumInfo<TComboBoxStyle>
{
    static constexpr std::array Names{"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed", "csOwnerDrawVariable"};
};

// A drop-down list. OnChange fires on the user's choice only, never when the
// program sets the selection. An ItemIndex out of range is ignored.
class TComboBox : public TWinControl
{
public:
    static constexpr int DefaultWidth = 145;
    static constexpr int DefaultHeight = 21;
    static constexpr TColor DefaultColor = clWindow;
    static constexpr TComboBoxStyle DefaultStyle = csDropDown;
    // No item selected.
    static constexpr int DefaultItemIndex = -1;

    explicit TComboBox(TComponent* AOwner);

    TComboBoxStyle Style() const { return FStyle; }
    void SetStyle(TComboBoxStyle Value);

    QStringList Items() const { return FItems; }
    // Replaces the items; the selection is cleared.
    void SetItems(const QStringList& Value);
    int ItemCount() const { return static_cast<int>(FItems.size()); }
    QString Item(int Index) const { return FItems.value(Index); }
    // Replaces one item in its place, keeping the selection.
    void SetItem(int Index, const QString& Text);

    // -1: no item selected.
    int ItemIndex() const;
    void SetItemIndex(int Value);
    QString Text() const;

    TNotifyEvent OnChange;

    void Loaded() override;

    static TPropList Published();

private:
    QComboBox* ComboBox() const;
    void Refill();
    void UserChose(int Index);

    TComboBoxStyle FStyle = DefaultStyle;
    QStringList FItems;
    int FItemIndex = DefaultItemIndex;
    // An index read before the items; applied once they are all read.
    std::optional<int> FPendingItemIndex;
};

// A framed group box with a caption; decoration and container, no items.
class TGroupBox : public TWinControl
{
public:
    static constexpr int DefaultWidth = 185;
    static constexpr int DefaultHeight = 105;

    explicit TGroupBox(TComponent* AOwner);

    static TPropList Published();

protected:
    void TextChanged() override;

private:
    QGroupBox* GroupBox() const;
};

void RegisterStdCtrlsUnit();
