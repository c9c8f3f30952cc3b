#pragma once

#include <vector>

#include "toolkit/Controls.h"
#include "toolkit/ExtCtrls.h"

class TPageNote;

// One page of a TPageNote: a panel that joins the container it is read into.
class TPageTab : public TPanel
{
public:
    explicit TPageTab(TComponent* AOwner);
    ~TPageTab() override;

    // Free text, stored with the page and read by nothing else.
    const QString& TabName() const { return FTabName; }
    void SetTabName(const QString& Value) { FTabName = Value; }

    // The container whose page this is, or null.
    TPageNote* PageNote() const { return FPageNote; }

    void ReadState(TReader& Reader) override;

    static TPropList Published();

private:
    friend class TPageNote;
    QString FTabName;
    TPageNote* FPageNote = nullptr;
};

// A stack of full-size pages of which exactly one, the active page, shows.
// There is no tab strip: the program switches pages through ActivePage.
class TPageNote : public TWinControl
{
public:
    static constexpr int DefaultSize = 150;

    explicit TPageNote(TComponent* AOwner);
    ~TPageNote() override;

    TPageTab* ActivePage() const;
    // A page of another container, or none, is ignored.
    void SetActivePage(TPageTab* Page);
    int TabIndex() const { return FTabIndex; }
    // An index out of range, or the current one, is ignored.
    void SetTabIndex(int Value);
    // The number of pages, not of child controls.
    int TabCount() const { return static_cast<int>(FPages.size()); }
    TPageTab* Pages(int Index) const { return FPages.at(static_cast<size_t>(Index)); }
    int IndexOfPage(const TPageTab* Page) const;

    // With EditTabs false the pages let the mouse through their own surface
    // to the container; controls on the pages still get theirs.
    bool EditTabs() const { return FEditTabs; }
    void SetEditTabs(bool Value) { FEditTabs = Value; }

    // Called by TPageTab when it is read into this container and when it is
    // destroyed.
    void InsertPage(TPageTab* Page);
    void RemovePage(TPageTab* Page);

    void ShowControl(TControl* AControl) override;
    void Loaded() override;
    // A pane to a screen reader; its hidden pages are not showing.
    QAccessible::Role AccessibleRole() const override;
    // Only the pages, in page order.
    void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;

    static TPropList Published();

private:
    void ActivatePage(int Index);
    // Moves whatever was put on the container itself onto the page in view.
    void AdoptStrays();

    std::vector<TPageTab*> FPages;
    int FTabIndex = 0;
    bool FEditTabs = false;
};

// Registers TPageNote and TPageTab for window descriptions; safe to call again.
void RegisterPPageNoteUnit();
