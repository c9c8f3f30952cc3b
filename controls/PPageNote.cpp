#include "controls/PPageNote.h"

#include <QEvent>
#include <QObject>
#include <QWidget>

#include <algorithm>

namespace {

// The page's answer to the hit test. Qt passes a mouse event that a widget
// leaves unaccepted on to its parent; events aimed at the page's child
// widgets reach those first and come here only if they decline them.
class TPageSurface : public QObject
{
public:
    TPageSurface(TPageTab* Page, QWidget* Surface) : QObject(Surface), FPage(Page) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        switch (Event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            break;
        default:
            return QObject::eventFilter(Watched, Event);
        }
        auto* Note = dynamic_cast<TPageNote*>(FPage->Parent());
        if (!Note)
            return false;
        if (!Note->EditTabs()) {
            // Through the page's own surface to the container below.
            Event->ignore();
            return true;
        }
        // The page answers as a window does: the event stops at the page.
        Watched->event(Event);
        Event->accept();
        return true;
    }

private:
    TPageTab* FPage;
};

} // namespace

// ---------------------------------------------------------------------------
// TPageTab

TPageTab::TPageTab(TComponent* AOwner)
    : TPanel(AOwner)
{
    Widget()->installEventFilter(new TPageSurface(this, Widget()));
}

TPageTab::~TPageTab()
{
    if (TPageNote* Note = PageNote())
        Note->RemovePage(this);
}

void TPageTab::ReadState(TReader& Reader)
{
    TComponent* ReadInto = Reader.Parent();
    TPanel::ReadState(Reader);
    // A page read under anything but a container stays a plain panel.
    if (auto* Note = dynamic_cast<TPageNote*>(ReadInto)) {
        SetParent(Note);
        Note->InsertPage(this);
    }
}

TPropList TPageTab::Published()
{
    TPropList L;
    L.push_back(Props::Property<TPageTab>(QStringLiteral("TabName"), &TPageTab::TabName, &TPageTab::SetTabName, QString()));
    return L;
}

// ---------------------------------------------------------------------------
// TPageNote

TPageNote::TPageNote(TComponent* AOwner)
    : TWinControl(AOwner)
{
    // The first container makes pages known to the description reader.
    RegisterPPageNoteUnit();
    SetControlStyle(ControlStyle() | csAcceptsControls | csOpaque);
    SetBounds(Left(), Top(), DefaultSize, DefaultSize);
}

TPageNote::~TPageNote()
{
    // The pages belong to the window that read them, yet go with their
    // container. Each one leaves FPages through RemovePage as it goes.
    try {
        const std::vector<TPageTab*> Pages = FPages;
        for (auto It = Pages.rbegin(); It != Pages.rend(); ++It)
            FreeComponent(*It);
    } catch (...) {
        // The base still disposes of whatever children remain.
    }
    FPages.clear();
}

TPageTab* TPageNote::ActivePage() const
{
    if (FPages.empty())
        return nullptr;
    return FPages.at(static_cast<size_t>(FTabIndex));
}

void TPageNote::SetActivePage(TPageTab* Page)
{
    SetTabIndex(IndexOfPage(Page));
}

int TPageNote::IndexOfPage(const TPageTab* Page) const
{
    auto It = std::find(FPages.begin(), FPages.end(), Page);
    return It == FPages.end() ? -1 : static_cast<int>(It - FPages.begin());
}

void TPageNote::SetTabIndex(int Value)
{
    if (Value < 0 || Value >= TabCount() || Value == FTabIndex)
        return;
    ActivatePage(Value);
}

// Shows the new page before hiding the old one, so that the container never
// shows its bare surface in between. Focus stays where it is.
void TPageNote::ActivatePage(int Index)
{
    TPageTab* Page = FPages.at(static_cast<size_t>(Index));
    Page->SetVisible(true);
    Page->BringToFront();
    if (FTabIndex >= 0 && FTabIndex < TabCount() && FTabIndex != Index)
        FPages.at(static_cast<size_t>(FTabIndex))->SetVisible(false);
    FTabIndex = Index;
}

void TPageNote::InsertPage(TPageTab* Page)
{
    if (IndexOfPage(Page) >= 0)
        return;
    if (Page->FPageNote)
        Page->FPageNote->RemovePage(Page);
    Page->SetAlign(alClient);
    Page->SetBevelOuter(bvNone);
    Page->SetCaption(QString());
    Page->FPageNote = this;
    if (FPages.empty()) {
        FPages.push_back(Page);
        // In a new container TabIndex is already 0: the first page read keeps
        // the visibility its description gave it.
        SetTabIndex(0);
        return;
    }
    // Right after the active page, which it then replaces: pages read one
    // after another end up in the order of the description.
    int At = FTabIndex + 1;
    FPages.insert(FPages.begin() + At, Page);
    SetTabIndex(At);
}

void TPageNote::RemovePage(TPageTab* Page)
{
    int At = IndexOfPage(Page);
    if (At < 0)
        return;
    Page->FPageNote = nullptr;
    if (TabCount() == 1) {
        FPages.clear();
        FTabIndex = -1;
        return;
    }
    TPageTab* WasActive = ActivePage();
    FPages.erase(FPages.begin() + At);
    if (Page != WasActive) {
        // Another page going away leaves the one in view where it is; only
        // its index may move.
        FTabIndex = IndexOfPage(WasActive);
        return;
    }
    // The next page takes the place of the active one, or the first page when
    // the last one went.
    int Next = At % TabCount();
    TPageTab* NewPage = FPages.at(static_cast<size_t>(Next));
    NewPage->SetVisible(true);
    NewPage->BringToFront();
    FTabIndex = Next;
}

void TPageNote::ShowControl(TControl* AControl)
{
    if (auto* Page = dynamic_cast<TPageTab*>(AControl)) {
        int At = IndexOfPage(Page);
        if (At >= 0)
            SetTabIndex(At);
    }
    TWinControl::ShowControl(AControl);
    AdoptStrays();
}

void TPageNote::Loaded()
{
    TWinControl::Loaded();
    // A control read onto the container itself is not written with it, yet
    // would hold a place in its tab order: it goes where it is seen.
    AdoptStrays();
}

void TPageNote::AdoptStrays()
{
    // Whatever was dropped on the container itself belongs on the page in view.
    TPageTab* Active = ActivePage();
    if (!Active)
        return;
    for (int I = ControlCount() - 1; I >= 0; --I) {
        if (I >= ControlCount())
            continue;
        TControl* Child = Controls(I);
        if (!dynamic_cast<TPageTab*>(Child))
            Child->SetParent(Active);
    }
}

void TPageNote::GetChildren(const TGetChildProc& Proc, TComponent* /*Root*/)
{
    for (TPageTab* Page : FPages)
        Proc(Page);
}

QAccessible::Role TPageNote::AccessibleRole() const
{
    return QAccessible::Pane;
}

TPropList TPageNote::Published()
{
    TPropList L;
    L.push_back(Props::Reference<TPageNote, TPageTab>(QStringLiteral("ActivePage"), &TPageNote::ActivePage, &TPageNote::SetActivePage));
    L.push_back(Props::Property<TPageNote>(QStringLiteral("EditTabs"), &TPageNote::EditTabs, &TPageNote::SetEditTabs, false));
    L.push_back(Props::Property<TPageNote>(QStringLiteral("TabIndex"), &TPageNote::TabIndex, &TPageNote::SetTabIndex, -1));

    TPropInfo Count;
    Count.Name = QStringLiteral("TabCount");
    Count.Kind = TPropInfo::pkInteger;
    Count.Get = [](const TObject& O) { return TValue::OfInteger(Props::Cast<TPageNote>(O).TabCount()); };
    Count.Set = [](TObject&, const TValue&) { throw EPropertyError(QStringLiteral("TabCount is read-only")); };
    Count.Stored = [](const TObject&) { return false; };
    L.push_back(Count);
    ControlProps::AddSize(L, DefaultSize, DefaultSize);
    return L;
}

void RegisterPPageNoteUnit()
{
    static bool Registered = false;
    if (Registered)
        return;
    Registered = true;
    RegisterControlsUnit();
    RegisterExtCtrlsUnit();
    RegisterClass<TPageNote, TWinControl>(QStringLiteral("TPageNote"), TPageNote::Published());
    RegisterClass<TPageTab, TPanel>(QStringLiteral("TPageTab"), TPageTab::Published());
}
