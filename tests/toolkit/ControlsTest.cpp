#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QFontMetrics>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "TestForm.h"

namespace {

// A windowless control that fills itself only when opaque.
class TSwatch : public TGraphicControl
{
public:
    using TGraphicControl::TGraphicControl;

protected:
    void Paint() override
    {
        if (ControlStyle() & csOpaque)
            Canvas().FillRect(QRect(0, 0, Width(), Height()));
    }
};

// A container that records the show-control requests it passes on.
class TRecorder : public TWinControl
{
public:
    using TWinControl::TWinControl;
    void ShowControl(TControl* AControl) override
    {
        Requests << AControl->Name();
        TWinControl::ShowControl(AControl);
    }
    QStringList Requests;
};

class ControlsTest : public ::testing::Test
{
protected:
    void SetUp() override { RegisterTestClasses(); }

    TOwnedPtr<TTestForm> LoadWindow()
    {
        TOwnedPtr<TTestForm> Form(new TTestForm(nullptr));
        Form->LoadDescriptionText(TestWindowText(), QStringLiteral("window.dfm"));
        return Form;
    }

    static QImage Render(TControl* C)
    {
        QImage Image(C->Widget()->size(), QImage::Format_ARGB32);
        Image.fill(Qt::transparent);
        C->Widget()->render(&Image);
        return Image;
    }
};

} // namespace

TEST_F(ControlsTest, AlignedControlsShareTheParentsClientArea)
{
    auto Form = LoadWindow();
    EXPECT_EQ(Form->ClientWidth(), 524);
    EXPECT_EQ(Form->ClientHeight(), 350);
    EXPECT_EQ(Form->Find<TPanel>("pnlTop")->BoundsRect(), QRect(0, 0, 524, 65));
    EXPECT_EQ(Form->Find<TPanel>("pnlBottom")->BoundsRect(), QRect(0, 289, 524, 61));
    EXPECT_EQ(Form->Find<TPanel>("pnMain")->BoundsRect(), QRect(0, 65, 524, 224));
    EXPECT_EQ(Form->Find<TImage>("imgTopBg")->BoundsRect(), QRect(0, 0, 524, 65));

    // A taller window gives the room to the client-aligned panel; the bottom bar moves.
    Form->SetClientHeight(400);
    EXPECT_EQ(Form->Find<TPanel>("pnlBottom")->BoundsRect(), QRect(0, 339, 524, 61));
    EXPECT_EQ(Form->Find<TPanel>("pnMain")->BoundsRect(), QRect(0, 65, 524, 274));

    // An aligned child lies inside its panel's bevel.
    TPanel Bar(nullptr);
    Bar.SetBounds(0, 0, 524, 61);
    auto* Line = new TImage(&Bar);
    Line->SetParent(&Bar);
    Line->SetHeight(1);
    Line->SetAlign(alTop);
    EXPECT_EQ(Line->BoundsRect(), QRect(1, 1, 522, 1));
}

// The host panel is read before the bar above it, so it is resized after its
// hidden child was read; the hidden child says Visible before or after Align.
TEST_F(ControlsTest, HiddenAlignedControlFollowsItsParentWhateverTheReadingOrder)
{
    const char* const Window = R"(object Form: TTestForm
  ClientWidth = 200
  ClientHeight = 100
  object pnlHost: TPanel
    Top = 40
    Width = 120
    Height = 50
    Align = alClient
    BevelOuter = bvNone
    object pnlBar: TPanel
      Height = 10
      Align = alTop
      BevelOuter = bvNone
    end
    object pnlHidden: TPanel
      Left = 5
      Top = 30
      Width = 40
      Height = 8
      %1
      %2
      BevelOuter = bvNone
    end
  end
  object pnlTop: TPanel
    Height = 20
    Align = alTop
    BevelOuter = bvNone
  end
end
)";
    struct TCase
    {
        const char* Align;
        QRect Hidden;
    };
    // Only the sides the alignment stretches follow the host; along the
    // stacking side the control keeps its place, and it takes no room.
    const TCase Cases[] = {
        {"alTop", QRect(0, 30, 200, 8)},
        {"alBottom", QRect(0, 30, 200, 8)},
        {"alLeft", QRect(5, 10, 40, 70)},
        {"alRight", QRect(5, 10, 40, 70)},
        {"alClient", QRect(0, 10, 200, 70)},
    };
    for (const TCase& C : Cases) {
        const QString Align = QStringLiteral("Align = ") + QLatin1String(C.Align);
        const QString Hide = QStringLiteral("Visible = False");
        for (bool HiddenFirst : {true, false}) {
            SCOPED_TRACE(std::string(C.Align) + (HiddenFirst ? ", Visible first" : ", Align first"));
            TOwnedPtr<TTestForm> Form(new TTestForm(nullptr));
            Form->LoadDescriptionText(QString::fromLatin1(Window).arg(HiddenFirst ? Hide : Align, HiddenFirst ? Align : Hide),
                QStringLiteral("hidden.dfm"));
            EXPECT_EQ(Form->Find<TPanel>("pnlHost")->BoundsRect(), QRect(0, 20, 200, 80));
            EXPECT_EQ(Form->Find<TPanel>("pnlBar")->BoundsRect(), QRect(0, 0, 200, 10));
            const QRect Hidden = Form->Find<TPanel>("pnlHidden")->BoundsRect();
            EXPECT_EQ(Hidden, C.Hidden) << Hidden.x() << ',' << Hidden.y() << ' ' << Hidden.width() << 'x' << Hidden.height();

            const QString Written = TWriter::WriteRootComponent(Form.get());
            TOwnedPtr<TTestForm> Again(new TTestForm(nullptr));
            Again->LoadDescriptionText(Written, QStringLiteral("written.dfm"));
            EXPECT_EQ(TWriter::WriteRootComponent(Again.get()).toStdString(), Written.toStdString());
        }
    }
}

TEST_F(ControlsTest, AnchorsKeepDistancesWhenTheParentResizes)
{
    TPanel Parent(nullptr);
    Parent.SetBevelOuter(bvNone);
    Parent.SetBounds(0, 0, 200, 100);
    struct TCase
    {
        TAnchors Anchors;
        QRect After;
    };
    const TCase Cases[] = {
        {TAnchors{akLeft, akTop}, QRect(10, 10, 50, 20)},
        {TAnchors{akRight, akBottom}, QRect(60, 40, 50, 20)},
        {TAnchors{akLeft, akTop, akRight}, QRect(10, 10, 100, 20)},
        {TAnchors{akLeft, akTop, akBottom}, QRect(10, 10, 50, 50)},
    };
    std::vector<TButton*> Buttons;
    for (const TCase& C : Cases) {
        auto* B = new TButton(&Parent);
        B->SetParent(&Parent);
        B->SetBounds(10, 10, 50, 20);
        B->SetAnchors(C.Anchors);
        Buttons.push_back(B);
    }
    Parent.Realign();
    Parent.SetBounds(0, 0, 250, 130);
    for (size_t I = 0; I < Buttons.size(); ++I)
        EXPECT_EQ(Buttons[I]->BoundsRect(), Cases[I].After) << I;
}

TEST_F(ControlsTest, ShowControlRequestTravelsUpTheParentChain)
{
    TRecorder Outer(nullptr);
    Outer.SetName(QStringLiteral("Outer"));
    auto* Inner = new TRecorder(&Outer);
    Inner->SetName(QStringLiteral("Inner"));
    Inner->SetParent(&Outer);
    auto* Button = new TButton(&Outer);
    Button->SetName(QStringLiteral("btn"));
    Button->SetParent(Inner);
    Button->SetVisible(false);
    Button->Show();
    EXPECT_EQ(Inner->Requests, QStringList{QStringLiteral("btn")});
    EXPECT_EQ(Outer.Requests, QStringList{QStringLiteral("Inner")});
    EXPECT_TRUE(Button->Visible());
}

TEST_F(ControlsTest, TabOrderFollowsTheDescriptionAndMovesOnRequest)
{
    auto Form = LoadWindow();
    auto* Panel2 = Form->Find<TPanel>("Panel2");
    QStringList Order;
    for (TWinControl* C : Panel2->TabList())
        Order << C->Name();
    EXPECT_EQ(Order, (QStringList{"rbShutdown", "rbRestart", "cbOption", "dtPicker", "cbOption2", "DateTimePickerOnce"}));

    auto* Restart = Form->Find<TRadioButton>("rbRestart");
    Restart->SetTabOrder(0);
    EXPECT_EQ(Restart->TabOrder(), 0);
    EXPECT_EQ(Form->Find<TRadioButton>("rbShutdown")->TabOrder(), 1);
    Restart->SetTabOrder(99);
    EXPECT_EQ(Restart->TabOrder(), 5);
}

TEST_F(ControlsTest, FontsArePixelSizedAndFollowTheParentUntilSetOwn)
{
    auto Form = LoadWindow();
    auto* Group = Form->Find<TGroupBox>("rgAction");
    EXPECT_EQ(Group->Widget()->font().pixelSize(), 12);
    EXPECT_EQ(Group->Widget()->font().family(), QStringLiteral("Arial"));
    auto* Next = Form->Find<TButton>("btnNext");
    EXPECT_TRUE(Next->ParentFont());
    EXPECT_EQ(Next->Font().Height(), -11);
    EXPECT_EQ(Next->Widget()->font().pixelSize(), 11);

    Form->Font().SetHeight(-16);
    EXPECT_EQ(Next->Font().Height(), -16);
    EXPECT_TRUE(Next->ParentFont());
    EXPECT_EQ(Group->Font().Height(), -12);

    // A positive height is the whole cell.
    TFont Cell;
    Cell.SetHeight(20);
    EXPECT_LE(QFontMetrics(Cell.ToQFont()).height(), 20);
    EXPECT_LT(Cell.ToQFont().pixelSize(), 20);

    TFont F;
    F.SetSize(9);
    EXPECT_EQ(F.Height(), -12);
    F.SetSize(8);
    EXPECT_EQ(F.Height(), -11);
    EXPECT_EQ(F.Size(), 8);
}

TEST_F(ControlsTest, SettersWithTheCurrentValueChangeNothing)
{
    TButton B(nullptr);
    int Paints = 0;
    B.Font().OnChange = [&] { ++Paints; };
    B.Font().SetName(QString::fromLatin1(TFont::DefaultName));
    B.Font().SetHeight(TFont::DefaultHeight);
    EXPECT_EQ(Paints, 0);
    EXPECT_TRUE(B.ParentFont());
}

TEST_F(ControlsTest, WindowlessControlShowsItsParentUnlessOpaque)
{
    TPanel Parent(nullptr);
    Parent.SetBevelOuter(bvNone);
    Parent.SetParentBackground(false);
    Parent.SetColor(clWhite);
    Parent.SetBounds(0, 0, 40, 20);
    auto* Clear = new TSwatch(&Parent);
    Clear->SetParent(&Parent);
    Clear->SetColor(clRed);
    Clear->SetBounds(0, 0, 20, 20);
    auto* Opaque = new TSwatch(&Parent);
    Opaque->SetParent(&Parent);
    Opaque->SetColor(clRed);
    Opaque->SetControlStyle(Opaque->ControlStyle() | csOpaque);
    Opaque->SetBounds(20, 0, 20, 20);
    const QImage Image = Render(&Parent);
    EXPECT_EQ(QColor(Image.pixel(10, 10)), QColor(Qt::white));
    EXPECT_EQ(QColor(Image.pixel(30, 10)), QColor(Qt::red));
}

TEST_F(ControlsTest, PictureIsDrawnFromTheTopLeftUnscaledOrStretched)
{
    TPanel Parent(nullptr);
    Parent.SetBevelOuter(bvNone);
    Parent.SetParentBackground(false);
    Parent.SetColor(clWhite);
    Parent.SetBounds(0, 0, 10, 10);
    auto* Img = new TImage(&Parent);
    Img->SetParent(&Parent);
    Img->SetBounds(0, 0, 10, 10);
    Img->SetPicture(QStringLiteral(LUMIDOR_TEST_DATA "/toolkit/red-4x3.png"));
    QImage Image = Render(&Parent);
    EXPECT_EQ(QColor(Image.pixel(3, 2)), QColor(Qt::red));
    EXPECT_EQ(QColor(Image.pixel(4, 2)), QColor(Qt::white));
    EXPECT_EQ(QColor(Image.pixel(3, 3)), QColor(Qt::white));

    // Cut at the control's edges: a 2 x 2 picture control shows 2 x 2 pixels.
    Img->SetBounds(0, 0, 2, 2);
    Image = Render(&Parent);
    EXPECT_EQ(QColor(Image.pixel(1, 1)), QColor(Qt::red));
    EXPECT_EQ(QColor(Image.pixel(2, 1)), QColor(Qt::white));

    Img->SetBounds(0, 0, 10, 10);
    Img->SetStretch(true);
    Image = Render(&Parent);
    EXPECT_EQ(QColor(Image.pixel(9, 9)), QColor(Qt::red));

    EXPECT_THROW(Img->SetPicture(QStringLiteral(LUMIDOR_TEST_DATA "/toolkit/window.dfm")), EFOpenError);
    EXPECT_EQ(Img->Picture(), QStringLiteral(LUMIDOR_TEST_DATA "/toolkit/red-4x3.png"));

    // A name ending in .png is no promise: what the file holds decides.
    QTemporaryDir Dir;
    const QString Named = Dir.filePath(QStringLiteral("really-a-bitmap.PNG"));
    QImage Green(3, 2, QImage::Format_RGB32);
    Green.fill(Qt::green);
    ASSERT_TRUE(Green.save(Named, "BMP"));
    Img->SetStretch(false);
    Img->SetPicture(Named);
    Image = Render(&Parent);
    EXPECT_EQ(QColor(Image.pixel(2, 1)), QColor(Qt::green));
    EXPECT_EQ(QColor(Image.pixel(3, 1)), QColor(Qt::white));
    const QString Broken = Dir.filePath(QStringLiteral("broken.png"));
    QFile File(Broken);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write("\x89PNG\r\n\x1a\n not really");
    File.close();
    EXPECT_THROW(Img->SetPicture(Broken), EFOpenError);
    EXPECT_EQ(Img->Picture(), Named);
}

TEST_F(ControlsTest, TransparentPictureWithoutAlphaHidesItsBottomLeftColour)
{
    QImage Opaque(2, 1, QImage::Format_RGB32);
    Opaque.setPixel(0, 0, qRgb(0, 255, 0));
    Opaque.setPixel(1, 0, qRgb(0, 0, 255));
    TPanel Parent(nullptr);
    Parent.SetBevelOuter(bvNone);
    Parent.SetParentBackground(false);
    Parent.SetColor(clWhite);
    Parent.SetBounds(0, 0, 2, 1);
    auto* Img = new TImage(&Parent);
    Img->SetParent(&Parent);
    Img->SetBounds(0, 0, 2, 1);
    Img->SetImage(Opaque);
    Img->SetTransparent(true);
    const QImage Image = Render(&Parent);
    EXPECT_EQ(QColor(Image.pixel(0, 0)), QColor(Qt::white));
    EXPECT_EQ(QColor(Image.pixel(1, 0)), QColor(Qt::blue));
}

TEST_F(ControlsTest, RadioButtonsGroupByParentAndClickWhenSelected)
{
    auto Form = LoadWindow();
    auto* Shutdown = Form->Find<TRadioButton>("rbShutdown");
    auto* Restart = Form->Find<TRadioButton>("rbRestart");
    // Selected by the description without a click.
    EXPECT_TRUE(Shutdown->Checked());
    EXPECT_EQ(Form->Calls, QStringList{QStringLiteral("FormCreate")});
    Form->Calls.clear();

    Restart->SetChecked(true);
    EXPECT_FALSE(Shutdown->Checked());
    EXPECT_EQ(Form->Calls, QStringList{QStringLiteral("rbRestartClick")});
    Restart->SetChecked(true);
    EXPECT_EQ(Form->Calls.size(), 1);

    // The user's click selects; clicking the selected one keeps it selected.
    static_cast<QAbstractButton*>(Shutdown->Widget())->click();
    EXPECT_TRUE(Shutdown->Checked());
    EXPECT_FALSE(Restart->Checked());
    EXPECT_FALSE(static_cast<QAbstractButton*>(Restart->Widget())->isChecked());
    static_cast<QAbstractButton*>(Shutdown->Widget())->click();
    EXPECT_TRUE(Shutdown->Checked());
    EXPECT_EQ(Form->Calls, (QStringList{"rbRestartClick", "rbShutdownClick"}));

    // A button on another parent is another group.
    TRadioButton Other(Form.get());
    Other.SetParent(Form.get());
    Other.SetChecked(true);
    EXPECT_TRUE(Shutdown->Checked());
}

TEST_F(ControlsTest, DropDownListFiresChangeOnTheUsersChoiceOnly)
{
    auto Form = LoadWindow();
    Form->Calls.clear();
    auto* Cb = Form->Find<TComboBox>("cbOption");
    auto* W = static_cast<QComboBox*>(Cb->Widget());
    EXPECT_EQ(Cb->ItemIndex(), -1);
    EXPECT_EQ(W->currentIndex(), -1);
    EXPECT_FALSE(W->isEditable());
    EXPECT_EQ(Form->Find<TComboBox>("cbOption2")->ItemIndex(), 0);

    Cb->SetItemIndex(1);
    EXPECT_EQ(Cb->ItemIndex(), 1);
    EXPECT_EQ(Cb->Text(), QStringLiteral("10 minute"));
    for (int Bad : {-2, 4, 100})
        Cb->SetItemIndex(Bad);
    EXPECT_EQ(Cb->ItemIndex(), 1);
    EXPECT_TRUE(Form->Calls.isEmpty());

    W->setCurrentIndex(3);
    emit W->activated(3);
    EXPECT_EQ(Cb->ItemIndex(), 3);
    EXPECT_EQ(Form->Calls, QStringList{QStringLiteral("cbOptionChange")});

    // Replacing one item keeps the selection.
    Cb->SetItem(3, QStringLiteral("30 Minuten"));
    EXPECT_EQ(Cb->ItemIndex(), 3);
    EXPECT_EQ(W->itemText(3), QStringLiteral("30 Minuten"));
    Cb->SetItemIndex(-1);
    EXPECT_EQ(W->currentIndex(), -1);
}

TEST_F(ControlsTest, PickersFireChangeOnTheUsersEditOnlyAndKeepTheOtherPart)
{
    auto Form = LoadWindow();
    Form->Calls.clear();
    auto* Date = Form->Find<TDateTimePicker>("dtPicker");
    TDateTime Value = 0;
    ASSERT_TRUE(DateTime::TryEncode(TDateTimeFields{2026, 3, 4, 18, 30, 45, 0}, Value));
    Date->SetDateTime(Value);
    EXPECT_EQ(Date->DateTime(), Value);
    EXPECT_TRUE(Form->Calls.isEmpty());

    auto* W = static_cast<QDateTimeEdit*>(Date->Widget());
    W->setDate(QDate(2026, 3, 5));
    EXPECT_EQ(Form->Calls, QStringList{QStringLiteral("dtPickerChange")});
    const TDateTimeFields F = DateTime::Decode(Date->DateTime());
    EXPECT_EQ((std::array{F.Year, F.Month, F.Day, F.Hour, F.Minute, F.Second}), (std::array{2026, 3, 5, 18, 30, 45}));

    auto* Time = Form->Find<TDateTimePicker>("DateTimePickerOnce");
    EXPECT_EQ(Time->Kind(), dtkTime);
    Time->SetDateTime(Value);
    TDateTime Noon = 0;
    ASSERT_TRUE(DateTime::TryEncode(TDateTimeFields{1899, 12, 30, 12, 0, 0, 0}, Noon));
    Time->SetTime(Noon);
    const TDateTimeFields T = DateTime::Decode(Time->DateTime());
    EXPECT_EQ((std::array{T.Year, T.Month, T.Day, T.Hour, T.Minute}), (std::array{2026, 3, 4, 12, 0}));
    EXPECT_EQ(Form->Calls.size(), 1);
}

TEST_F(ControlsTest, ListViewReportsEveryCheckChangeByUserOrProgram)
{
    auto Form = LoadWindow();
    Form->Calls.clear();
    auto* Lv = Form->Find<TListView>("lvView");
    auto* W = static_cast<QTreeWidget*>(Lv->Widget());
    EXPECT_FALSE(W->isHeaderHidden());
    EXPECT_EQ(W->headerItem()->text(0), QStringLiteral("Scheduled task"));
    EXPECT_EQ(Lv->GroupCount(), 2);
    EXPECT_EQ(Lv->Group(0)->Header(), QStringLiteral("Restart"));
    EXPECT_EQ(Lv->Group(0)->GroupID(), 1);
    EXPECT_FALSE(Lv->GroupView());

    TListItem* A = Lv->Items().Add();
    A->SetCaption(QStringLiteral("Shutdown computer at: 1"));
    TListItem* B = Lv->Items().Add();
    B->SetCaption(QStringLiteral("Shutdown computer at: 2"));
    EXPECT_TRUE(Form->Calls.isEmpty());
    EXPECT_EQ(W->topLevelItem(1)->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(W->topLevelItem(1)->flags() & Qt::ItemIsEditable);

    B->SetChecked(true);
    B->SetChecked(true);
    W->topLevelItem(0)->setCheckState(0, Qt::Checked);
    A->SetChecked(false);
    EXPECT_EQ(Form->Calls, (QStringList{"lvViewItemChecked 1 1", "lvViewItemChecked 0 1", "lvViewItemChecked 0 0"}));
    EXPECT_EQ(W->topLevelItem(1)->checkState(0), Qt::Checked);

    Lv->SetItemIndex(1);
    EXPECT_EQ(Lv->Selected(), B);
    for (int Bad : {-2, 2})
        Lv->SetItemIndex(Bad);
    EXPECT_EQ(Lv->ItemIndex(), 1);
    Lv->Items().Delete(5);
    Lv->Items().Delete(0);
    EXPECT_EQ(Lv->Items().Count(), 1);
    EXPECT_EQ(B->Index(), 0);
}

TEST_F(ControlsTest, AutoSizedColumnTakesTheFreeWidthButNotLessThanItsMinimum)
{
    TListView Lv(nullptr);
    Lv.SetViewStyle(vsReport);
    TListColumn* C = Lv.AddColumn();
    C->SetAutoSize(true);
    C->SetMinWidth(400);
    Lv.SetBounds(0, 0, 600, 100);
    const int Frame = static_cast<QFrame*>(Lv.Widget())->frameWidth();
    EXPECT_EQ(C->ShownWidth(), 600 - 2 * Frame);
    EXPECT_EQ(static_cast<QTreeWidget*>(Lv.Widget())->columnWidth(0), 600 - 2 * Frame);
    Lv.SetWidth(300);
    EXPECT_EQ(C->ShownWidth(), 400);
}

TEST_F(ControlsTest, PanelClientAreaLiesInsideBevelsAndBorder)
{
    TPanel P(nullptr);
    P.SetBounds(0, 0, 100, 50);
    EXPECT_EQ(P.ClientRect(), QRect(1, 1, 98, 48));
    P.SetBevelInner(bvLowered);
    P.SetBorderWidth(2);
    EXPECT_EQ(P.ClientRect(), QRect(4, 4, 92, 42));
    P.SetBevelOuter(bvNone);
    P.SetBevelInner(bvNone);
    P.SetBorderWidth(0);
    EXPECT_EQ(P.ClientRect(), QRect(0, 0, 100, 50));
}
