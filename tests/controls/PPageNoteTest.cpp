#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>

#include <gtest/gtest.h>

#include "ControlsTestSupport.h"

using namespace ControlsTest;

namespace {

// A page that logs when it is shown or hidden, in the order it happens.
class TRecordingPage : public TPageTab
{
public:
    TRecordingPage(TComponent* AOwner, QStringList* Log) : TPageTab(AOwner), FLog(Log) {}

protected:
    void VisibleChanged() override
    {
        TPageTab::VisibleChanged();
        if (FLog)
            FLog->append(Name() + (Visible() ? QStringLiteral(" shown") : QStringLiteral(" hidden")));
    }

private:
    QStringList* FLog;
};

struct TBook
{
    TOwned<TForm> Form;
    TPageNote* Note = nullptr;
    std::vector<TPageTab*> Pages;
};

// A container on a form with Count pages added as the reader adds them.
TBook MakeBook(int Count, QStringList* Log = nullptr)
{
    RegisterAll();
    TBook B;
    B.Form.reset(new TForm(nullptr));
    B.Form->SetName(QStringLiteral("frmBook"));
    B.Note = new TPageNote(B.Form.get());
    B.Note->SetName(QStringLiteral("pnMain"));
    B.Note->SetParent(B.Form.get());
    for (int I = 0; I < Count; ++I) {
        TPageTab* Page = Log ? new TRecordingPage(B.Form.get(), Log) : new TPageTab(B.Form.get());
        Page->SetName(QStringLiteral("pt%1").arg(QChar(u'A' + I)));
        Page->SetParent(B.Note);
        B.Note->InsertPage(Page);
        B.Pages.push_back(Page);
    }
    return B;
}

QStringList PageNames(const TPageNote* Note)
{
    QStringList Names;
    for (int I = 0; I < Note->TabCount(); ++I)
        Names << Note->Pages(I)->Name();
    return Names;
}

QStringList VisiblePages(const TPageNote* Note)
{
    QStringList Names;
    for (int I = 0; I < Note->TabCount(); ++I)
        if (Note->Pages(I)->Visible())
            Names << Note->Pages(I)->Name();
    return Names;
}

// The page whose widget lies on top of the other pages' widgets.
QString TopPage(const TPageNote* Note)
{
    const QObjectList Children = Note->Widget()->children();
    QString Top;
    qsizetype TopAt = -1;
    for (int I = 0; I < Note->TabCount(); ++I) {
        qsizetype At = Children.indexOf(Note->Pages(I)->Widget());
        if (At > TopAt) {
            TopAt = At;
            Top = Note->Pages(I)->Name();
        }
    }
    return Top;
}

const char* const ThreePages = R"(object frmMain: TForm
  object pnMain: TPageNote
    Width = 524
    Height = 224
    %1
    TabIndex = 0
    object ptMain: TPageTab
      Caption = 'Welcome'
      BevelOuter = bvRaised
      TabName = 'First'
    end
    object ptAdd: TPageTab
      Visible = False
    end
    object ptDel: TPageTab
      Visible = False
    end
  end
end
)";

} // namespace

TEST(PageNote, NewContainerHasNoPagesAtIndexZero)
{
    TBook B = MakeBook(0);
    EXPECT_EQ(B.Note->TabCount(), 0);
    EXPECT_EQ(B.Note->TabIndex(), 0);
    EXPECT_EQ(B.Note->ActivePage(), nullptr);
    EXPECT_FALSE(B.Note->EditTabs());
    EXPECT_EQ(B.Note->BoundsRect().size(), QSize(150, 150));
    EXPECT_TRUE(B.Note->ControlStyle() & csAcceptsControls);
    EXPECT_TRUE(B.Note->ControlStyle() & csOpaque);
}

TEST(PageNote, LoadedPagesKeepDescriptionOrderAndStoredActivePageWins)
{
    TOwned<TForm> Form = LoadForm(QString::fromLatin1(ThreePages).arg(QStringLiteral("ActivePage = ptMain")));
    auto* Note = Find<TPageNote>(Form.get(), "pnMain");
    ASSERT_NE(Note, nullptr);
    EXPECT_EQ(PageNames(Note), (QStringList{"ptMain", "ptAdd", "ptDel"}));
    EXPECT_EQ(Note->TabCount(), 3);
    EXPECT_EQ(Note->TabIndex(), 0);
    EXPECT_EQ(Note->ActivePage(), Find<TPageTab>(Form.get(), "ptMain"));
    EXPECT_EQ(VisiblePages(Note), QStringList{"ptMain"});
    EXPECT_EQ(TopPage(Note), QStringLiteral("ptMain"));

    // Whatever the description said, a page fills the container without bevel or caption.
    auto* Main = Find<TPageTab>(Form.get(), "ptMain");
    EXPECT_EQ(Main->Align(), alClient);
    EXPECT_EQ(Main->BevelOuter(), bvNone);
    EXPECT_EQ(Main->Caption(), QString());
    EXPECT_EQ(Main->TabName(), QStringLiteral("First"));
    EXPECT_EQ(Main->BoundsRect(), QRect(0, 0, 524, 224));
    EXPECT_EQ(Main->PageNote(), Note);
}

TEST(PageNote, WithoutStoredActivePageTheLastPageReadIsActive)
{
    TOwned<TForm> Form = LoadForm(QString::fromLatin1(ThreePages).arg(QString()));
    auto* Note = Find<TPageNote>(Form.get(), "pnMain");
    EXPECT_EQ(PageNames(Note), (QStringList{"ptMain", "ptAdd", "ptDel"}));
    EXPECT_EQ(Note->TabIndex(), 2);
    EXPECT_EQ(VisiblePages(Note), QStringList{"ptDel"});
    EXPECT_EQ(TopPage(Note), QStringLiteral("ptDel"));
}

TEST(PageNote, PageReadOnAPanelStaysAPlainPanel)
{
    TOwned<TForm> Form = LoadForm(QStringLiteral(R"(object frmMain: TForm
  object pnlHost: TPanel
    object ptLoose: TPageTab
      Caption = 'Kept'
      BevelOuter = bvLowered
    end
  end
end
)"));
    auto* Page = Find<TPageTab>(Form.get(), "ptLoose");
    ASSERT_NE(Page, nullptr);
    EXPECT_EQ(Page->PageNote(), nullptr);
    EXPECT_EQ(Page->Caption(), QStringLiteral("Kept"));
    EXPECT_EQ(Page->BevelOuter(), bvLowered);
    EXPECT_EQ(Page->Align(), alNone);
}

TEST(PageNote, SelectionOutOfRangeOrOfTheCurrentOrAForeignPageChangesNothing)
{
    TBook B = MakeBook(3);
    TBook Other = MakeBook(1);
    B.Note->SetTabIndex(1);
    ASSERT_EQ(VisiblePages(B.Note), QStringList{"ptB"});

    struct Case
    {
        const char* What;
        std::function<void()> Select;
    };
    const Case Cases[] = {
        {"index -1", [&] { B.Note->SetTabIndex(-1); }},
        {"index = count", [&] { B.Note->SetTabIndex(3); }},
        {"index far out", [&] { B.Note->SetTabIndex(1000); }},
        {"current index", [&] { B.Note->SetTabIndex(1); }},
        {"current page", [&] { B.Note->SetActivePage(B.Pages[1]); }},
        {"no page", [&] { B.Note->SetActivePage(nullptr); }},
        {"page of another container", [&] { B.Note->SetActivePage(Other.Pages[0]); }},
    };
    for (const Case& K : Cases) {
        SCOPED_TRACE(K.What);
        K.Select();
        EXPECT_EQ(B.Note->TabIndex(), 1);
        EXPECT_EQ(B.Note->ActivePage(), B.Pages[1]);
        EXPECT_EQ(VisiblePages(B.Note), QStringList{"ptB"});
    }
}

TEST(PageNote, SelectingShowsAndRaisesTheNewPageBeforeHidingTheOld)
{
    QStringList Log;
    TBook B = MakeBook(3, &Log);
    B.Note->SetTabIndex(0);
    Log.clear();

    B.Note->SetActivePage(B.Pages[1]);
    EXPECT_EQ(Log, (QStringList{"ptB shown", "ptA hidden"}));
    EXPECT_EQ(B.Note->TabIndex(), 1);
    EXPECT_EQ(TopPage(B.Note), QStringLiteral("ptB"));

    Log.clear();
    B.Note->SetActivePage(B.Pages[1]);
    EXPECT_TRUE(Log.isEmpty());
}

TEST(PageNote, RemovingAPageLeavesExactlyOneActivePage)
{
    struct Case
    {
        int Active;
        int Removed;
        const char* NowActive;
        int NowIndex;
    };
    const Case Cases[] = {
        {1, 1, "ptC", 1}, // the next page takes over
        {2, 2, "ptA", 0}, // the last went: the first takes over
        {0, 0, "ptB", 0},
        // Another page going away leaves the page in view where it is.
        {2, 0, "ptC", 1},
        {0, 2, "ptA", 0},
        {1, 0, "ptB", 0},
    };
    for (const Case& K : Cases) {
        SCOPED_TRACE(testing::Message() << "active " << K.Active << ", removed " << K.Removed);
        TBook B = MakeBook(3);
        B.Note->SetTabIndex(K.Active);
        FreeComponent(B.Pages[size_t(K.Removed)]);
        EXPECT_EQ(B.Note->TabCount(), 2);
        ASSERT_NE(B.Note->ActivePage(), nullptr);
        EXPECT_EQ(B.Note->ActivePage()->Name(), QString::fromLatin1(K.NowActive));
        EXPECT_EQ(B.Note->TabIndex(), K.NowIndex);
        EXPECT_EQ(VisiblePages(B.Note), QStringList{QString::fromLatin1(K.NowActive)});
        EXPECT_EQ(TopPage(B.Note), QString::fromLatin1(K.NowActive));
    }
}

TEST(PageNote, RemovingTheOnlyPageLeavesNoneAndTheNextPageAddedShows)
{
    TBook B = MakeBook(1);
    FreeComponent(B.Pages[0]);
    EXPECT_EQ(B.Note->TabCount(), 0);
    EXPECT_EQ(B.Note->TabIndex(), -1);
    EXPECT_EQ(B.Note->ActivePage(), nullptr);

    auto* Page = new TPageTab(B.Form.get());
    Page->SetVisible(false);
    Page->SetParent(B.Note);
    B.Note->InsertPage(Page);
    EXPECT_EQ(B.Note->TabIndex(), 0);
    EXPECT_EQ(B.Note->ActivePage(), Page);
    EXPECT_TRUE(Page->Visible());
}

TEST(PageNote, RemovingAPageOfAnotherContainerChangesNothing)
{
    TBook B = MakeBook(2);
    TBook Other = MakeBook(1);
    B.Note->RemovePage(Other.Pages[0]);
    B.Note->RemovePage(nullptr);
    EXPECT_EQ(B.Note->TabCount(), 2);
    EXPECT_EQ(Other.Note->TabCount(), 1);
}

TEST(PageNote, DestroyingTheContainerDestroysItsPagesFromTheWindowToo)
{
    TBook B = MakeBook(3);
    const int Before = B.Form->ComponentCount();
    FreeComponent(B.Note);
    EXPECT_EQ(B.Form->ComponentCount(), Before - 4);
    EXPECT_EQ(B.Form->FindComponent(QStringLiteral("ptA")), nullptr);
    EXPECT_EQ(B.Form->FindComponent(QStringLiteral("ptC")), nullptr);
}

TEST(PageNote, ShowControlSelectsThePageAndMovesStrayChildrenOntoTheActivePage)
{
    TBook Empty = MakeBook(0);
    auto* Stray = new TLabel(Empty.Form.get());
    Stray->SetParent(Empty.Note);
    Empty.Note->ShowControl(Stray);
    EXPECT_EQ(Stray->Parent(), Empty.Note);

    TBook B = MakeBook(3);
    B.Note->SetTabIndex(0);
    auto* First = new TLabel(B.Form.get());
    auto* Second = new TPanel(B.Form.get());
    First->SetParent(B.Note);
    Second->SetParent(B.Note);
    B.Pages[2]->Show();
    EXPECT_EQ(B.Note->ActivePage(), B.Pages[2]);
    EXPECT_EQ(First->Parent(), B.Pages[2]);
    EXPECT_EQ(Second->Parent(), B.Pages[2]);
    for (TPageTab* Page : B.Pages)
        EXPECT_EQ(Page->Parent(), B.Note);
}

TEST(PageNote, SavingWritesOnlyThePagesInPageOrderAndReloadsAlike)
{
    TBook B = MakeBook(2);
    // A third page added while the first is active goes between the two.
    B.Note->SetTabIndex(0);
    auto* Middle = new TPageTab(B.Form.get());
    Middle->SetName(QStringLiteral("ptMiddle"));
    Middle->SetParent(B.Note);
    B.Note->InsertPage(Middle);
    ASSERT_EQ(PageNames(B.Note), (QStringList{"ptA", "ptMiddle", "ptB"}));
    auto* Stray = new TLabel(B.Form.get());
    Stray->SetName(QStringLiteral("lblStray"));
    Stray->SetParent(B.Note);

    const QString Text = TWriter::WriteRootComponent(B.Form.get());
    EXPECT_FALSE(Text.contains(QStringLiteral("lblStray")));
    EXPECT_FALSE(Text.contains(QStringLiteral("TabCount")));
    EXPECT_TRUE(Text.contains(QStringLiteral("ActivePage = ptMiddle")));
    qsizetype A = Text.indexOf(QStringLiteral("ptA:")), M = Text.indexOf(QStringLiteral("ptMiddle:")), Z = Text.indexOf(QStringLiteral("ptB:"));
    EXPECT_TRUE(A >= 0 && A < M && M < Z) << Text.toStdString();

    TOwned<TForm> Again = LoadForm(Text);
    auto* Note = Find<TPageNote>(Again.get(), "pnMain");
    ASSERT_NE(Note, nullptr);
    EXPECT_EQ(PageNames(Note), (QStringList{"ptA", "ptMiddle", "ptB"}));
    EXPECT_EQ(Note->ActivePage()->Name(), QStringLiteral("ptMiddle"));
    EXPECT_EQ(TWriter::WriteRootComponent(Again.get()), Text);
}

// ---------------------------------------------------------------------------
// The mouse

namespace {

class TPressCounter : public QObject
{
public:
    int Presses = 0;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::MouseButtonPress)
            ++Presses;
        return QObject::eventFilter(Watched, Event);
    }
};

// Presses and releases the left button at At in Window, delivered as the
// window system would: to the topmost widget there, passed on to its parents
// while nobody accepts it.
void Click(QWidget* Window, QPoint At)
{
    QWidget* Target = Window->childAt(At);
    if (!Target)
        Target = Window;
    const QPointF Local = Target->mapFrom(Window, At);
    const QPointF Global = Window->mapToGlobal(At);
    QMouseEvent Press(QEvent::MouseButtonPress, Local, Global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &Press);
    QMouseEvent Release(QEvent::MouseButtonRelease, Local, Global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &Release);
}

struct TClickBook
{
    TBook B;
    TPressCounter OnContainer;
    QPushButton* Button = nullptr;
    TLabel* Label = nullptr;
    int LabelClicks = 0;
    int ButtonClicks = 0;

    TClickBook() : B(MakeBook(2))
    {
        B.Form->SetBounds(0, 0, 300, 200);
        B.Note->SetAlign(alClient);
        B.Note->SetTabIndex(0);
        TPageTab* Page = B.Pages[0];
        Button = new QPushButton(QStringLiteral("Go"), Page->Widget());
        Button->setGeometry(100, 100, 60, 24);
        QObject::connect(Button, &QPushButton::clicked, [this] { ++ButtonClicks; });
        Label = new TLabel(B.Form.get());
        Label->SetParent(Page);
        Label->SetBounds(10, 100, 60, 17);
        Label->SetCaption(QStringLiteral("Label"));
        Label->OnClick = TNotifyEvent([this](TObject*) { ++LabelClicks; });
        B.Note->Widget()->installEventFilter(&OnContainer);
        B.Form->Widget()->show();
    }

    QPoint OnPage(QPoint At) const { return B.Pages[0]->Widget()->mapTo(B.Form->Widget(), At); }
    QPoint OnWidget(QWidget* W, QPoint At) const { return W->mapTo(B.Form->Widget(), At); }
};

} // namespace

TEST(PageNote, ClickOnAnEmptySpotOfAPageReachesTheContainerUnlessEditTabs)
{
    TClickBook T;
    ASSERT_EQ(T.B.Form->Widget()->childAt(T.OnPage(QPoint(20, 20))), T.B.Pages[0]->Widget());
    Click(T.B.Form->Widget(), T.OnPage(QPoint(20, 20)));
    EXPECT_EQ(T.OnContainer.Presses, 1);

    T.B.Note->SetEditTabs(true);
    Click(T.B.Form->Widget(), T.OnPage(QPoint(20, 20)));
    EXPECT_EQ(T.OnContainer.Presses, 1) << "with EditTabs the page keeps the click";
}

TEST(PageNote, ControlsOnAPageStillGetTheirClicks)
{
    TClickBook T;
    Click(T.B.Form->Widget(), T.OnWidget(T.Button, QPoint(10, 10)));
    EXPECT_EQ(T.ButtonClicks, 1);
    EXPECT_EQ(T.OnContainer.Presses, 0);

    Click(T.B.Form->Widget(), T.OnWidget(T.Label->Widget(), QPoint(5, 5)));
    EXPECT_EQ(T.LabelClicks, 1);
}
