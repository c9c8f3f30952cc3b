#include "WizardFixture.h"

#include <QDir>
#include <QFontMetrics>
#include <QStyle>
#include <QFile>
#include <QWidget>

namespace {

struct TControlRow
{
    const char* Name;
    const char* ClassName;
    const char* Parent;
    QRect Bounds;
    int TabOrder; // -1: windowless
};

// The designed layout: positions within the parent, sizes, tab orders.
const TControlRow Layout[] = {
    {"pnlTop", "TPanel", "frmMain", {0, 0, 524, 65}, 0},
    {"imgTopBg", "TImage", "pnlTop", {0, 0, 524, 65}, -1},
    {"imgLog", "TImage", "pnlTop", {14, 11, 48, 48}, -1},
    {"lbl_Detail", "TLabel", "pnlTop", {74, 38, 439, 13}, -1},
    {"pnlBottom", "TPanel", "frmMain", {0, 289, 524, 61}, 1},
    {"Image2", "TImage", "pnlBottom", {1, 1, 522, 1}, -1},
    {"btnBack", "TButton", "pnlBottom", {177, 19, 90, 25}, 0},
    {"btnNext", "TButton", "pnlBottom", {283, 19, 90, 25}, 1},
    {"btnClose", "TButton", "pnlBottom", {391, 19, 90, 25}, 2},
    {"pnMain", "TPageNote", "frmMain", {0, 65, 524, 224}, 2},
    {"ptMain", "TPageTab", "pnMain", {0, 0, 524, 224}, 0},
    {"ptAdd", "TPageTab", "pnMain", {0, 0, 524, 224}, 1},
    {"ptDel", "TPageTab", "pnMain", {0, 0, 524, 224}, 2},
    {"lbl_Job", "TLabel", "ptMain", {210, 8, 248, 15}, -1},
    {"rgAction", "TGroupBox", "ptMain", {38, 39, 443, 134}, 0},
    {"Panel1", "TPanel", "ptMain", {75, 57, 383, 113}, 1},
    {"imgAdd", "TImage", "Panel1", {37, 15, 32, 32}, -1},
    {"imgDelete", "TImage", "Panel1", {37, 61, 32, 32}, -1},
    {"rbCreate", "TRadioButton", "Panel1", {102, 23, 229, 17}, 0},
    // As wide as rbCreate: the text needs more than the designed 184 in the Tahoma we ship.
    {"rbDelete", "TRadioButton", "Panel1", {102, 66, 229, 17}, 1},
    {"rgAddAction", "TGroupBox", "ptAdd", {32, 24, 449, 194}, 0},
    {"Panel2", "TPanel", "ptAdd", {48, 40, 400, 169}, 1},
    {"rbShutdown", "TRadioButton", "Panel2", {60, 8, 124, 17}, 0},
    {"rbRestart", "TRadioButton", "Panel2", {214, 10, 134, 17}, 1},
    {"cbOption", "TComboBox", "Panel2", {208, 33, 140, 21}, 2},
    {"dtPicker", "TDateTimePicker", "Panel2", {208, 60, 140, 21}, 3},
    {"cbOption2", "TComboBox", "Panel2", {208, 115, 140, 21}, 4},
    {"pnl1", "TPanel", "Panel2", {112, 31, 72, 130}, 5},
    {"rbAfter", "TRadioButton", "pnl1", {16, 4, 113, 17}, 0},
    {"rbOrat1", "TRadioButton", "pnl1", {16, 32, 113, 17}, 1},
    {"rbOrat2", "TRadioButton", "pnl1", {16, 84, 113, 17}, 2},
    {"DateTimePickerOnce", "TDateTimePicker", "Panel2", {208, 88, 140, 21}, 6},
    {"DateTimePickerDaily", "TDateTimePicker", "Panel2", {208, 142, 140, 21}, 7},
    {"lvView", "TListView", "ptDel", {38, 21, 443, 179}, 0},
};

struct TFontRow
{
    const char* Name;
    const char* Family;
    int Height;
    TColor Color;
};

const TFontRow FontTable[] = {
    {"frmMain", "Tahoma", -11, clWindowText},
    {"lbl_Title", "Tahoma", -16, TColor(0x924E0A)},
    {"lbl_Detail", "Tahoma", -11, clBlack},
    {"btnNext", "Tahoma", -11, clWindowText},
    {"lbl_PreJob", "Arial", -12, clWindowText},
    {"lbl_Job", "Arial", -12, clBlue},
    {"lbl_AddSchJob", "Arial", -12, clWindowText},
    {"lbl_AddJob", "Arial", -12, clBlue},
    {"rgAddAction", "Arial", -12, clWindowText},
    {"rbShutdown", "Arial", -11, clWindowText},
    {"rbRestart", "Arial", -11, clWindowText},
    {"rbAfter", "Tahoma", -11, clWindowText},
};

TControl* ControlNamed(TfrmMain& F, const char* Name)
{
    if (F.Name() == QLatin1String(Name))
        return &F;
    return dynamic_cast<TControl*>(F.FindComponent(QString::fromLatin1(Name)));
}

} // namespace

TEST_F(WizardTest, DescriptionGivesTheDesignedLayout)
{
    TfrmMain& F = MakeForm();
    EXPECT_EQ(F.Caption(), "Zelvo Lumidor");
    EXPECT_EQ(F.ClientWidth(), 524);
    EXPECT_EQ(F.ClientHeight(), 350);
    EXPECT_GE(F.Width(), 530);
    EXPECT_LE(F.Width(), 530);
    EXPECT_GE(F.Height(), 378);
    EXPECT_LE(F.Height(), 382);
    EXPECT_EQ(F.BorderStyle(), bsSingle);
    EXPECT_EQ(F.BorderIcons(), (TBorderIcons{biSystemMenu, biMinimize}));
    EXPECT_EQ(F.Position(), poScreenCenter);
    EXPECT_EQ(F.Color(), clWhite);
    EXPECT_TRUE(F.DoubleBuffered());

    for (const TControlRow& Row : Layout) {
        SCOPED_TRACE(Row.Name);
        TControl* C = ControlNamed(F, Row.Name);
        ASSERT_NE(C, nullptr);
        EXPECT_EQ(C->ClassName(), QLatin1String(Row.ClassName));
        ASSERT_NE(C->Parent(), nullptr);
        EXPECT_EQ(C->Parent()->Name(), QLatin1String(Row.Parent));
        EXPECT_EQ(C->BoundsRect(), Row.Bounds);
        if (Row.TabOrder >= 0) {
            EXPECT_EQ(static_cast<TWinControl*>(C)->TabOrder(), Row.TabOrder);
        }
    }
    // Labels sized to their text keep their designed corner.
    EXPECT_EQ(F.lbl_Title->BoundsRect().topLeft(), QPoint(73, 14));
    EXPECT_EQ(F.lbl_PreJob->BoundsRect().topLeft(), QPoint(112, 8));
    EXPECT_EQ(F.lbl_AddSchJob->BoundsRect().topLeft(), QPoint(121, 5));
    EXPECT_EQ(F.lbl_AddJob->BoundsRect().topLeft(), QPoint(233, 5));
    EXPECT_FALSE(F.lbl_Job->AutoSize());
    EXPECT_FALSE(F.lbl_Detail->AutoSize());

    for (const TFontRow& Row : FontTable) {
        SCOPED_TRACE(Row.Name);
        TControl* C = ControlNamed(F, Row.Name);
        ASSERT_NE(C, nullptr);
        EXPECT_EQ(C->Font().Name(), QLatin1String(Row.Family));
        EXPECT_EQ(C->Font().Height(), Row.Height);
        EXPECT_EQ(C->Font().Color(), Row.Color);
    }
}

// What the screenshots showed once: a caption cut off at its control's edge,
// or at the edge of the panel that holds the control.
TEST_F(WizardTest, CaptionsFitTheirControls)
{
    TfrmMain& F = MakeForm();
    const auto VisibleWidth = [](const TControl* C) { return std::min(C->Width(), C->Parent()->ClientWidth() - C->Left()); };
    for (int I = 0; I < F.ComponentCount(); ++I) {
        auto* C = dynamic_cast<TControl*>(F.Components(I));
        ASSERT_NE(C, nullptr);
        const QStyle* Style = C->Widget()->style();
        const int TextWidth = QFontMetrics(C->Font().ToQFont()).horizontalAdvance(C->Caption().split(u'\r').first());
        int Needed = -1;
        if (dynamic_cast<TRadioButton*>(C))
            Needed = Style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) + Style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing) + TextWidth;
        else if (dynamic_cast<TButton*>(C))
            Needed = 2 * Style->pixelMetric(QStyle::PM_ButtonMargin) + TextWidth;
        else if (dynamic_cast<TLabel*>(C))
            Needed = TextWidth;
        if (Needed >= 0) {
            EXPECT_LE(Needed, VisibleWidth(C)) << C->Name().toStdString();
        }
    }
}

TEST_F(WizardTest, DescriptionGivesTheDesignedTextsAndStates)
{
    TfrmMain& F = MakeForm();
    EXPECT_EQ(F.lbl_Title->Caption(), "Zelvo Lumidor");
    EXPECT_EQ(F.lbl_Detail->Caption(), "Shuts down your computer automatically at a scheduled time. \r\n");
    EXPECT_EQ(F.btnBack->Caption(), "< Back");
    EXPECT_EQ(F.btnNext->Caption(), "Next >");
    EXPECT_EQ(F.btnClose->Caption(), "Close");
    EXPECT_EQ(F.lbl_PreJob->Caption(), "Scheduled task:");
    EXPECT_EQ(F.lbl_Job->Caption(), "N/A");
    EXPECT_EQ(F.rgAction->Caption(), "Action");
    EXPECT_EQ(F.rbCreate->Caption(), "Add a new Lumidor scheduled task");
    EXPECT_EQ(F.rbDelete->Caption(), "Delete an existing scheduled task");
    EXPECT_EQ(F.lbl_AddSchJob->Caption(), "Schedule Time:");
    EXPECT_EQ(F.lbl_AddJob->Caption(), "N/A");
    EXPECT_EQ(F.rgAddAction->Caption(), "Schedule");
    EXPECT_EQ(F.rbShutdown->Caption(), "Shut down Computer");
    EXPECT_EQ(F.rbRestart->Caption(), "Restart Computer");
    EXPECT_EQ(F.rbAfter->Caption(), "  After:");
    EXPECT_EQ(F.rbOrat1->Caption(), "  Or at");
    EXPECT_EQ(F.rbOrat2->Caption(), "  Or at");
    EXPECT_EQ(F.cbOption->Items(), (QStringList{"1 minute", "10 minute", "20 minutes", "30 minutes"}));
    EXPECT_EQ(F.cbOption2->Items(),
        (QStringList{"Everyday", "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"}));
    EXPECT_EQ(F.cbOption->Style(), csDropDownList);
    EXPECT_EQ(F.cbOption2->Style(), csDropDownList);
    EXPECT_EQ(F.cbOption->ItemIndex(), -1);
    EXPECT_EQ(F.cbOption2->ItemIndex(), 0);
    EXPECT_EQ(F.dtPicker->Kind(), dtkDate);
    EXPECT_EQ(F.DateTimePickerOnce->Kind(), dtkTime);
    EXPECT_EQ(F.DateTimePickerDaily->Kind(), dtkTime);

    EXPECT_TRUE(F.rbCreate->Checked());
    EXPECT_FALSE(F.rbDelete->Checked());
    EXPECT_TRUE(F.rbShutdown->Checked());
    EXPECT_FALSE(F.rbAfter->Checked() || F.rbOrat1->Checked() || F.rbOrat2->Checked());

    // Only Back and the date picker start disabled.
    for (int I = 0; I < F.ComponentCount(); ++I) {
        auto* C = dynamic_cast<TControl*>(F.Components(I));
        ASSERT_NE(C, nullptr);
        EXPECT_EQ(C->Enabled(), C != F.btnBack && C != F.dtPicker) << C->Name().toStdString();
    }

    EXPECT_EQ(F.pnMain->ActivePage(), F.ptMain);
    EXPECT_EQ(F.pnMain->TabCount(), 3);
    EXPECT_TRUE(F.ptMain->Visible());
    EXPECT_FALSE(F.ptAdd->Visible());
    EXPECT_FALSE(F.ptDel->Visible());

    EXPECT_TRUE(F.lvView->Checkboxes());
    EXPECT_EQ(F.lvView->ViewStyle(), vsReport);
    EXPECT_TRUE(F.lvView->RowSelect());
    EXPECT_TRUE(F.lvView->ReadOnly());
    EXPECT_FALSE(F.lvView->GroupView());
    ASSERT_EQ(F.lvView->ColumnCount(), 1);
    EXPECT_EQ(F.lvView->Column(0)->Caption(), "Scheduled task");
    EXPECT_TRUE(F.lvView->Column(0)->AutoSize());
    EXPECT_GE(F.lvView->Column(0)->ShownWidth(), 400);
    ASSERT_EQ(F.lvView->GroupCount(), 2);
    EXPECT_EQ(F.lvView->Group(0)->Header(), "Restart");
    EXPECT_EQ(F.lvView->Group(0)->GroupID(), 1);
    EXPECT_EQ(F.lvView->Group(1)->Header(), "Shutdown");
    EXPECT_EQ(F.lvView->Group(1)->GroupID(), 0);
}

TEST_F(WizardTest, CreationOpensTheJobRegistryFolder)
{
    MakeForm();
    EXPECT_TRUE(QDir(qEnvironmentVariable("XDG_CONFIG_HOME") + "/Zelvo/Corvane V8/Lumidor").exists());
    EXPECT_EQ(Form->ScheduleTime(), 0.0);
    EXPECT_EQ(Form->SelectedWeekDay(), 0);
}

TEST_F(WizardTest, NextWithDeleteShowsTheDeletePageWithNextDisabledReadingDelete)
{
    TfrmMain& F = MakeForm();
    Click(F.rbDelete);
    Click(F.btnNext);
    EXPECT_EQ(F.pnMain->ActivePage(), F.ptDel);
    EXPECT_FALSE(F.btnNext->Enabled());
    EXPECT_EQ(F.btnNext->Caption(), "Delete");
    EXPECT_TRUE(F.btnBack->Enabled());
}

TEST_F(WizardTest, TicksOnTheDeletePageEnableNextExactlyWhileOneIsSet)
{
    TfrmMain& F = MakeForm();
    for (const char* Label : {"first", "second"})
        F.lvView->Items().Add()->SetCaption(QString::fromLatin1(Label));
    // Ticks outside the delete page are not looked at.
    F.lvView->Items()[1]->SetChecked(true);
    F.lvView->Items()[1]->SetChecked(false);
    EXPECT_TRUE(F.btnNext->Enabled());

    Click(F.rbDelete);
    Click(F.btnNext);
    struct TStep
    {
        int Row;
        bool Tick;
        bool NextEnabled;
    };
    const TStep Steps[] = {{1, true, true}, {0, true, true}, {1, false, true}, {0, false, false}};
    for (const TStep& S : Steps) {
        F.lvView->Items()[S.Row]->SetChecked(S.Tick);
        EXPECT_EQ(F.btnNext->Enabled(), S.NextEnabled) << S.Row << " " << S.Tick;
    }
}

TEST_F(WizardTest, BackReturnsToTheFirstPageAndClearsTicksAfterTheSwitch)
{
    TfrmMain& F = MakeForm();
    for (const char* Label : {"first", "second", "third"})
        F.lvView->Items().Add()->SetCaption(QString::fromLatin1(Label));
    Click(F.rbDelete);
    Click(F.btnNext);
    F.lvView->Items()[0]->SetChecked(true);
    F.lvView->Items()[2]->SetChecked(true);

    // Every tick cleared by Back must find the first page already active.
    std::vector<TPageTab*> PagesSeen;
    const auto Original = F.lvView->OnItemChecked;
    F.lvView->OnItemChecked = TEvent<TObject*, TListItem*>([&](TObject* Sender, TListItem* Item) {
        PagesSeen.push_back(F.pnMain->ActivePage());
        Original(Sender, Item);
    });
    Click(F.btnBack);

    EXPECT_EQ(F.pnMain->ActivePage(), F.ptMain);
    EXPECT_FALSE(F.btnBack->Enabled());
    EXPECT_TRUE(F.btnNext->Enabled());
    EXPECT_EQ(F.btnNext->Caption(), "Next >");
    for (int I = 0; I < F.lvView->Items().Count(); ++I)
        EXPECT_FALSE(F.lvView->Items()[I]->Checked()) << I;
    EXPECT_EQ(PagesSeen, (std::vector<TPageTab*>{F.ptMain, F.ptMain}));
    // The choice on the first page stays.
    EXPECT_TRUE(F.rbDelete->Checked());
}

TEST_F(WizardTest, AddPageIsAlwaysEnteredInTheSameStateButKeepsThePickers)
{
    TfrmMain& F = MakeForm();
    Click(F.btnNext);
    ASSERT_EQ(F.pnMain->ActivePage(), F.ptAdd);

    // A user changes everything, leaves and comes back.
    Click(F.rbRestart);
    Click(F.rbOrat1);
    SetPickerDate(F.dtPicker, QDate(2015, 3, 4));
    SetPickerTime(F.DateTimePickerOnce, QTime(6, 5, 4));
    Click(F.rbOrat2);
    SetPickerTime(F.DateTimePickerDaily, QTime(7, 8, 9));
    Choose(F.cbOption2, 3);
    Click(F.btnBack);
    SetNow(QDate(2014, 12, 8), QTime(22, 0));
    Click(F.btnNext);

    EXPECT_EQ(F.pnMain->ActivePage(), F.ptAdd);
    EXPECT_TRUE(F.rbShutdown->Checked());
    EXPECT_TRUE(F.rbAfter->Checked());
    EXPECT_FALSE(F.rbOrat2->Checked());
    EXPECT_EQ(F.cbOption->ItemIndex(), 0);
    EXPECT_EQ(F.cbOption2->ItemIndex(), 0);
    EXPECT_TRUE(F.cbOption->Enabled());
    for (TControl* C : std::initializer_list<TControl*>{F.dtPicker, F.DateTimePickerOnce, F.cbOption2, F.DateTimePickerDaily})
        EXPECT_FALSE(C->Enabled()) << C->Name().toStdString();
    EXPECT_TRUE(F.btnBack->Enabled());
    EXPECT_TRUE(F.btnNext->Enabled());
    EXPECT_EQ(F.btnNext->Caption(), "Finished");
    EXPECT_DOUBLE_EQ(F.ScheduleTime(), At(2014, 12, 8, 22, 1));
    EXPECT_EQ(F.lbl_AddJob->Caption(), "Shutdown computer at: 12/8/2014 10:01 PM");

    const TDateTimeFields Date = DateTime::Decode(F.dtPicker->DateTime());
    EXPECT_EQ(QDate(Date.Year, Date.Month, Date.Day), QDate(2015, 3, 4));
    const TDateTimeFields Once = DateTime::Decode(F.DateTimePickerOnce->DateTime());
    EXPECT_EQ(QTime(Once.Hour, Once.Minute, Once.Second), QTime(6, 5, 4));
    const TDateTimeFields Daily = DateTime::Decode(F.DateTimePickerDaily->DateTime());
    EXPECT_EQ(QTime(Daily.Hour, Daily.Minute, Daily.Second), QTime(7, 8, 9));
}

TEST_F(WizardTest, KindOfTimeButtonsEnableTheirOwnControls)
{
    TfrmMain& F = MakeForm();
    Click(F.btnNext);
    struct TCase
    {
        TRadioButton* Button;
        std::vector<TControl*> Enabled;
        std::vector<TControl*> Disabled;
    };
    const TCase Cases[] = {
        {F.rbOrat1, {F.dtPicker, F.DateTimePickerOnce}, {F.cbOption, F.cbOption2, F.DateTimePickerDaily}},
        {F.rbOrat2, {F.cbOption2, F.DateTimePickerDaily}, {F.cbOption, F.dtPicker, F.DateTimePickerOnce}},
        {F.rbAfter, {F.cbOption}, {F.dtPicker, F.DateTimePickerOnce, F.cbOption2, F.DateTimePickerDaily}},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Button->Name().toStdString());
        Click(Case.Button);
        for (TControl* C : Case.Enabled)
            EXPECT_TRUE(C->Enabled()) << C->Name().toStdString();
        for (TControl* C : Case.Disabled)
            EXPECT_FALSE(C->Enabled()) << C->Name().toStdString();
    }
}

TEST_F(WizardTest, ShowInfoTitlesTheBoxWithTheCurrentCaption)
{
    TfrmMain& F = MakeForm();
    F.ShowInfo("Added_Succ", "Added successfully!");
    F.SetCaption(QStringLiteral("Zelvo Lumidor – Planer"));
    F.ShowInfo("Deleted_Succ", "Deleted successfully!");

    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[0].Owner, &F);
    EXPECT_EQ(Boxes[0].Text, "Added successfully!");
    EXPECT_EQ(Boxes[0].Caption, "Zelvo Lumidor");
    EXPECT_EQ(Boxes[0].Flags, 0x40u);
    EXPECT_EQ(Boxes[1].Text, "Deleted successfully!");
    EXPECT_EQ(Boxes[1].Caption, QStringLiteral("Zelvo Lumidor – Planer"));
}

TEST_F(WizardTest, CloseClosesTheWindow)
{
    TfrmMain& F = MakeForm();
    F.Show();
    ASSERT_TRUE(F.Widget()->isVisible());
    Click(F.btnClose);
    EXPECT_FALSE(F.Widget()->isVisible());
    EXPECT_FALSE(F.Visible());
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(WizardTest, SuiteLanguageGivesTheWindowAndRunTimeTexts)
{
    // The catalogue translates the application's windows.
    TApplication App;
    TfrmMain* F = FormIn(App, "German");
    if (!F)
        GTEST_SKIP() << "no language files beside the test program";
    EXPECT_EQ(F->btnNext->Caption(), "Weiter >");
    EXPECT_EQ(F->cbOption2->Item(0), QStringLiteral("Täglich"));

    Click(F->btnNext);
    EXPECT_EQ(F->btnNext->Caption(), "Fertig stellen");
    // The file's prefix has no blank of its own; the window puts a plain one.
    EXPECT_EQ(F->lbl_AddJob->Caption(), "Herunterfahren: 12/8/2014 9:21 PM");
    Click(F->rbOrat2);
    EXPECT_TRUE(F->lbl_AddJob->Caption().endsWith(QStringLiteral(" Täglich"))) << F->lbl_AddJob->Caption().toStdString();

    F->ShowInfo("Added_Succ", "Added successfully!");
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, QStringLiteral("Erfolgreich hinzugefügt!"));
    EXPECT_EQ(Boxes[0].Caption, F->Caption());

    Click(F->btnBack);
    EXPECT_EQ(F->btnNext->Caption(), "Weiter >");
    Click(F->rbDelete);
    Click(F->btnNext);
    EXPECT_EQ(F->btnNext->Caption(), QStringLiteral("Löschen"));
}

// With English loaded, stored labels are the designed texts, so they equal
// those of a window without a language file.
TEST_F(WizardTest, EnglishLanguageGivesTheDesignedPreviewText)
{
    TApplication App;
    TfrmMain* F = FormIn(App, "English");
    if (!F)
        GTEST_SKIP() << "no language files beside the test program";
    Click(F->btnNext);
    EXPECT_EQ(F->lbl_AddJob->Caption(), "Shutdown computer at: 12/8/2014 9:21 PM");
    Click(F->rbRestart);
    EXPECT_EQ(F->lbl_AddJob->Caption(), "Restart computer at: 12/8/2014 9:21 PM");
}
