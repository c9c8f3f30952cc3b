#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "i18n/uLanguage.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/StdCtrls.h"

namespace {

// Stand-ins for classes that this layer knows only by their registered
// name: the program's label and a container translated on its own.
class TStandInLabel : public TGraphicControl
{
public:
    explicit TStandInLabel(TComponent* AOwner) : TGraphicControl(AOwner) {}
};

class TDerivedLabel : public TStandInLabel
{
public:
    using TStandInLabel::TStandInLabel;
};

class TReportTab : public TComponent
{
public:
    explicit TReportTab(TComponent* AOwner) : TComponent(AOwner) {}
};

void RegisterStandIns()
{
    RegisterToolkitClasses();
    RegisterStdCtrlsUnit();
    RegisterComCtrlsUnit();
    if (!ClassRegistry::Find(QStringLiteral("TLabel")))
        RegisterClass<TStandInLabel, TGraphicControl>(QStringLiteral("TLabel"));
    RegisterClass<TDerivedLabel, TStandInLabel>(QStringLiteral("TDerivedLabel"));
    RegisterClass<TReportTab, TComponent>(QStringLiteral("TReportTab"));
}

template <class T>
T* Make(TComponent* Owner, const QString& Name, const QString& Caption = QString())
{
    auto* C = new T(Owner);
    C->SetName(Name);
    if constexpr (std::is_base_of_v<TControl, T>) {
        if (auto* Parent = dynamic_cast<TWinControl*>(Owner))
            C->SetParent(Parent);
        C->SetCaption(Caption);
    }
    return C;
}

struct TFree
{
    void operator()(TComponent* C) const { FreeComponent(C); }
};
using TFormPtr = std::unique_ptr<TForm, TFree>;

const char* const GermanFile =
    "\xEF\xBB\xBF"
    "[Lumidor_frmTest]\n"
    "frmTest.Caption = Zelvo Lumidor (de)\n"
    "lbl_Title.Caption=Titel\n"
    "lbl_Derived.Caption=Abgeleitet\n"
    "btnNext.Caption=  Weiter >  \n"
    "rgAction.Caption=Aktion\n"
    "rbAfter.Caption=Nach:\n"
    "rbOrat1.Caption=\n"
    "cbOption.Items[0].Caption=1 Minute\n"
    "CBOPTION.ITEMS[1].CAPTION=10 Minuten\n"
    "lvView.Columns[0].Caption=Geplante Aufgabe\n"
    "lvView.Items[0].Caption=never\n"
    "Panel1.Caption=never\n"
    "btnOnPanel.Caption=never\n"
    "btnInside.Caption=never\n"
    "[Lumidor_tabReport]\n"
    "btnInside.Caption=Drinnen\n"
    "[Lumidor_dmData]\n"
    "dmData.Caption=no window\n"
    "btnData.Caption=never\n"
    "[Lumidor_frmNoTitle]\n"
    "btnOther.Caption=Anderer\n";

class TranslateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RegisterStandIns();
        QFile File(Dir.filePath("German.lng"));
        ASSERT_TRUE(File.open(QIODevice::WriteOnly));
        File.write(GermanFile);
        File.close();
        Language.ScanLanguages(Dir.path());
        ASSERT_EQ(Language.LanguageNames().value(Language.LanguageIndex()), "German");
    }

    // A window as the wizard's description builds it: every control owned
    // by the form, in creation order.
    TForm* MakeForm(TComponent* Owner)
    {
        auto* Form = new TForm(Owner);
        Form->SetName("frmTest");
        Form->SetCaption("Zelvo Lumidor");
        Make<TStandInLabel>(Form, "lbl_Title", "Zelvo Lumidor");
        Make<TDerivedLabel>(Form, "lbl_Derived", "derived");
        Make<TStandInLabel>(Form, "lbl_Job", "N/A");
        Make<TButton>(Form, "btnNext", "Next >");
        Make<TGroupBox>(Form, "rgAction", "Action");
        Make<TRadioButton>(Form, "rbAfter", "  After:");
        Make<TRadioButton>(Form, "rbOrat1", "  Or at");
        Make<TRadioButton>(Form, "rbOrat2", "  Or at");
        auto* Combo = Make<TComboBox>(Form, "cbOption");
        Combo->SetItems({"1 minute", "10 minute", "20 minutes", "30 minutes"});
        Combo->SetItemIndex(2);
        auto* List = Make<TListView>(Form, "lvView");
        List->AddColumn()->SetCaption("Scheduled task");
        List->AddColumn()->SetCaption("Second");
        List->AddGroup()->SetHeader("Restart");
        List->Items().Add()->SetCaption("row");
        auto* Panel = Make<TPanel>(Form, "Panel1", "panel");
        // Owned by the panel: components of other kinds are not entered.
        Make<TButton>(Panel, "btnOnPanel", "on panel");
        auto* Report = Make<TReportTab>(Form, "tabReport");
        Make<TButton>(Report, "btnInside", "inside");
        return Form;
    }

    QString Caption(TForm* Form, const QString& Name)
    {
        return static_cast<TControl*>(Form->FindComponent(Name))->Caption();
    }

    QTemporaryDir Dir;
    TLanguage Language{"Lumidor"};
};

} // namespace

TEST_F(TranslateTest, TranslatesEveryKindOfTheTable)
{
    TFormPtr Form(MakeForm(nullptr));
    Language.TranslateComponent(Form.get());

    EXPECT_EQ(Form->Caption(), "Zelvo Lumidor (de)");
    const std::pair<const char*, const char*> Expected[] = {
        {"lbl_Title", "Titel"},
        {"lbl_Derived", "Abgeleitet"},
        {"lbl_Job", "N/A"},           // no key: the caption stays
        {"btnNext", "Weiter >"},       // surrounding blanks are gone
        {"rgAction", "Aktion"},
        {"rbAfter", "Nach:"},          // the designed leading blanks are gone too
        {"rbOrat1", ""},               // an empty value empties the caption
        {"rbOrat2", "  Or at"},
        {"Panel1", "panel"},           // not a kind of the table
    };
    for (const auto& [Name, Text] : Expected)
        EXPECT_EQ(Caption(Form.get(), Name), QString::fromUtf8(Text)) << Name;

    auto* Panel = static_cast<TPanel*>(Form->FindComponent("Panel1"));
    EXPECT_EQ(static_cast<TButton*>(Panel->FindComponent("btnOnPanel"))->Caption(), "on panel");

    // The file has no run-time section: every run-time text keeps its default.
    EXPECT_EQ(Language.GetText("next", "Next >"), "Next >");

    // A report tab is translated from its own section.
    auto* Report = Form->FindComponent("tabReport");
    EXPECT_EQ(static_cast<TButton*>(Report->FindComponent("btnInside"))->Caption(), "Drinnen");
}

TEST_F(TranslateTest, DropDownItemsWithoutKeysKeepTheirTextAndTheSelection)
{
    TFormPtr Form(MakeForm(nullptr));
    Language.TranslateComponent(Form.get());
    auto* Combo = static_cast<TComboBox*>(Form->FindComponent("cbOption"));
    EXPECT_EQ(Combo->Items(), (QStringList{"1 Minute", "10 Minuten", "20 minutes", "30 minutes"}));
    EXPECT_EQ(Combo->ItemIndex(), 2);
}

TEST_F(TranslateTest, ListViewTranslatesItsColumnHeadersOnly)
{
    TFormPtr Form(MakeForm(nullptr));
    Language.TranslateComponent(Form.get());
    auto* List = static_cast<TListView*>(Form->FindComponent("lvView"));
    EXPECT_EQ(List->Column(0)->Caption(), "Geplante Aufgabe");
    EXPECT_EQ(List->Column(1)->Caption(), "Second");
    EXPECT_EQ(List->Group(0)->Header(), "Restart");
    EXPECT_EQ(List->Items()[0]->Caption(), "row");
}

TEST_F(TranslateTest, NamelessComponentIsLeftAlone)
{
    TFormPtr Form(MakeForm(nullptr));
    Form->SetName("");
    Language.TranslateComponent(Form.get());
    EXPECT_EQ(Form->Caption(), "Zelvo Lumidor");
    EXPECT_EQ(Caption(Form.get(), "btnNext"), "Next >");
}

TEST_F(TranslateTest, ApplicationWalkSkipsANonWindowWithATitleAndGoesOn)
{
    ASSERT_EQ(Application, nullptr);
    {
        TApplication App;
        // In registration order: a component that is no window but has a
        // title key, then two windows, one without a title key.
        auto* Data = Make<TComponent>(&App, "dmData");
        Make<TButton>(Data, "btnData", "data");
        TForm* Form = MakeForm(&App);
        auto* Other = new TForm(&App);
        Other->SetName("frmNoTitle");
        Other->SetCaption("designed title");
        Make<TButton>(Other, "btnOther", "other");

        Language.TranslateApplication();

        EXPECT_EQ(static_cast<TButton*>(Data->FindComponent("btnData"))->Caption(), "data");
        EXPECT_EQ(Form->Caption(), "Zelvo Lumidor (de)");
        EXPECT_EQ(Caption(Form, "btnNext"), "Weiter >");
        EXPECT_EQ(Other->Caption(), "designed title");
        EXPECT_EQ(Caption(Other, "btnOther"), "Anderer");
    }
    EXPECT_EQ(Application, nullptr);
}

TEST_F(TranslateTest, WithoutALanguageEveryCaptionStays)
{
    TLanguage Empty("Lumidor");
    TFormPtr Form(MakeForm(nullptr));
    Empty.TranslateComponent(Form.get());
    EXPECT_EQ(Form->Caption(), "Zelvo Lumidor");
    EXPECT_EQ(Caption(Form.get(), "rbAfter"), "  After:");
    EXPECT_EQ(static_cast<TComboBox*>(Form->FindComponent("cbOption"))->Item(1), "10 minute");
}
