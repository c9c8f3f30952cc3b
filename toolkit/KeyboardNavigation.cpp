#include "toolkit/Controls.h"

#include <QWidget>

#include <algorithm>
#include <climits>

// The keyboard's way through a window: the tab order of each container's
// windowed children, the focus, and the accelerator characters.

int TWinControl::TabOrder() const
{
    if (FPendingTabOrder)
        return *FPendingTabOrder;
    if (!Parent())
        return -1;
    const auto& L = Parent()->FTabList;
    auto It = std::find(L.begin(), L.end(), this);
    return It == L.end() ? -1 : static_cast<int>(It - L.begin());
}

void TWinControl::SetTabOrder(int Value)
{
    if (HasState(csReading)) {
        // A negative order puts the control last, like one not stored.
        FPendingTabOrder = Value >= 0 ? std::optional<int>(Value) : std::nullopt;
        return;
    }
    if (!Parent())
        return;
    auto& L = Parent()->FTabList;
    auto It = std::find(L.begin(), L.end(), this);
    if (It == L.end())
        return;
    const int Count = static_cast<int>(L.size());
    if (Value < 0 || Value >= Count)
        Value = Count - 1;
    if (Value == It - L.begin())
        return;
    L.erase(It);
    L.insert(L.begin() + Value, this);
    Parent()->ApplyTabOrder();
}

std::vector<TWinControl*> TWinControl::TabList() const
{
    return FTabList;
}

void TWinControl::FixupTabList()
{
    // Children with a stored tab order take their places; the others follow.
    std::stable_sort(FTabList.begin(), FTabList.end(), [](const TWinControl* A, const TWinControl* B) {
        return A->FPendingTabOrder.value_or(INT_MAX) < B->FPendingTabOrder.value_or(INT_MAX);
    });
    for (TWinControl* C : FTabList)
        C->FPendingTabOrder.reset();
    ApplyTabOrder();
}

void TWinControl::ApplyTabOrder()
{
    for (size_t I = 1; I < FTabList.size(); ++I)
        if (FTabList[I - 1]->Widget() && FTabList[I]->Widget())
            QWidget::setTabOrder(FTabList[I - 1]->Widget(), FTabList[I]->Widget());
}

bool TWinControl::CanFocus() const
{
    for (const TControl* C = this; C; C = C->Parent())
        if (!C->Visible() || !C->Enabled())
            return false;
    return true;
}

void TWinControl::SetFocus()
{
    if (Widget())
        Widget()->setFocus(Qt::OtherFocusReason);
}

bool TWinControl::SelectFirst()
{
    for (TWinControl* C : FTabList) {
        if (!C->CanFocus())
            continue;
        // A container without a stop of its own passes Tab on to its children.
        if (C->Widget() && (C->Widget()->focusPolicy() & Qt::TabFocus)) {
            C->SetFocus();
            return true;
        }
        if (C->SelectFirst())
            return true;
    }
    return false;
}

bool TControl::DialogChar(QChar)
{
    return false;
}

bool TWinControl::DialogChar(QChar Key)
{
    const std::vector<TControl*> L = FControls;
    for (TControl* C : L)
        if (C->DialogChar(Key))
            return true;
    return false;
}
