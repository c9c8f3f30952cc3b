#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>

#include "TestForm.h"

namespace {

// A component that records what it is told.
class TWatcher : public TComponent
{
public:
    using TComponent::TComponent;
    void Notification(TComponent* AComponent, TOperation Operation) override
    {
        Heard << QStringLiteral("%1 %2").arg(Operation == opInsert ? "insert" : "remove", AComponent->Name());
        TComponent::Notification(AComponent, Operation);
    }
    void Loaded() override
    {
        LoadedCalls++;
        WasLoadingInLoaded = HasState(csLoading);
        TComponent::Loaded();
    }
    QStringList Heard;
    int LoadedCalls = 0;
    bool WasLoadingInLoaded = false;
};

// A panel with a reference to another control, read after the whole window.
class TLinkPanel : public TPanel
{
public:
    using TPanel::TPanel;
    TControl* Target() const { return FTarget; }
    void SetTarget(TControl* Value)
    {
        FTarget = Value;
        TargetWasSetWhileReading = HasState(csReading);
    }
    bool TargetWasSetWhileReading = false;

    static TPropList Published()
    {
        TPropList L;
        L.push_back(Props::Reference<TLinkPanel, TControl>(QStringLiteral("Target"), &TLinkPanel::Target, &TLinkPanel::SetTarget));
        return L;
    }

private:
    TControl* FTarget = nullptr;
};

// A property with a rule of its own: written exactly once it has been set.
class TFlagPanel : public TPanel
{
public:
    using TPanel::TPanel;
    bool Flag() const { return FFlag; }
    void SetFlag(bool Value)
    {
        FFlag = Value;
        FFlagSet = true;
    }
    static TPropList Published()
    {
        TPropList L;
        L.push_back(Props::Property<TFlagPanel>(QStringLiteral("Flag"), &TFlagPanel::Flag, &TFlagPanel::SetFlag, std::nullopt,
            [](const TFlagPanel& P) { return P.FFlagSet; }));
        return L;
    }

private:
    bool FFlag = true;
    bool FFlagSet = false;
};

class ClassesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RegisterTestClasses();
        RegisterClass<TWatcher, TComponent>(QStringLiteral("TWatcher"));
        RegisterClass<TLinkPanel, TPanel>(QStringLiteral("TLinkPanel"), TLinkPanel::Published());
        RegisterClass<TFlagPanel, TPanel>(QStringLiteral("TFlagPanel"), TFlagPanel::Published());
    }

    TOwnedPtr<TTestForm> Load(const QString& Text, bool BindHandlers = true)
    {
        TOwnedPtr<TTestForm> Form(new TTestForm(nullptr, BindHandlers));
        Form->LoadDescriptionText(Text, QStringLiteral("test.dfm"));
        return Form;
    }

    // The message of the read error that Text causes, or "" when it reads.
    QString ReadError(const QString& Text)
    {
        TTestForm Form(nullptr);
        try {
            ReadComponentText(Text, QStringLiteral("bad.dfm"), &Form);
        } catch (const EReadError& E) {
            return E.Message();
        }
        return QString();
    }
};

QString Wrap(const QString& Body)
{
    return QStringLiteral("object frmTest: TTestForm\n") + Body + QStringLiteral("end\n");
}

} // namespace

TEST_F(ClassesTest, OwnerListsComponentsInCreationOrderAndForgetsDestroyedOnes)
{
    TWatcher Owner(nullptr);
    auto* A = new TWatcher(&Owner);
    A->SetName(QStringLiteral("A"));
    auto* B = new TWatcher(&Owner);
    B->SetName(QStringLiteral("B"));
    auto* C = new TWatcher(&Owner);
    C->SetName(QStringLiteral("C"));
    ASSERT_EQ(Owner.ComponentCount(), 3);
    EXPECT_EQ(Owner.Components(0), A);
    EXPECT_EQ(Owner.Components(2), C);
    EXPECT_EQ(B->ComponentIndex(), 1);
    EXPECT_EQ(Owner.FindComponent(QStringLiteral("b")), B);

    delete B;
    ASSERT_EQ(Owner.ComponentCount(), 2);
    EXPECT_EQ(Owner.Components(1), C);
    // The owner and its other components hear of the removal.
    EXPECT_TRUE(Owner.Heard.contains(QStringLiteral("remove B")));
    EXPECT_TRUE(A->Heard.contains(QStringLiteral("remove B")));
}

TEST_F(ClassesTest, FreeNotificationTellsAComponentOfAnotherOwnersComponentGoing)
{
    TWatcher OwnerA(nullptr), OwnerB(nullptr);
    auto* Listener = new TWatcher(&OwnerA);
    auto* Target = new TWatcher(&OwnerB);
    Target->SetName(QStringLiteral("Target"));
    Listener->FreeNotification(Target);
    delete Target;
    EXPECT_TRUE(Listener->Heard.contains(QStringLiteral("remove Target")));

    // After RemoveFreeNotification nothing is heard, and nothing dangles.
    auto* Second = new TWatcher(&OwnerB);
    Second->SetName(QStringLiteral("Second"));
    Listener->FreeNotification(Second);
    Listener->RemoveFreeNotification(Second);
    Listener->Heard.clear();
    delete Second;
    EXPECT_TRUE(Listener->Heard.isEmpty());
    delete Listener;
}

TEST_F(ClassesTest, NamesMustBeIdentifiersAndUniqueAmongTheOwnersComponents)
{
    TWatcher Owner(nullptr);
    auto* A = new TWatcher(&Owner);
    A->SetName(QStringLiteral("btnNext"));
    auto* B = new TWatcher(&Owner);
    EXPECT_THROW(B->SetName(QStringLiteral("BTNNEXT")), EComponentError);
    for (const char* Bad : {"1abc", "a b", "a-b", "ä"})
        EXPECT_THROW(B->SetName(QString::fromUtf8(Bad)), EComponentError) << Bad;
    B->SetName(QStringLiteral("_ok2"));
    EXPECT_EQ(B->Name(), QStringLiteral("_ok2"));
    B->SetName(QString());
    EXPECT_TRUE(B->Name().isEmpty());
}

TEST_F(ClassesTest, RegistryKnowsFactoryParentAndInheritedProperties)
{
    const TClassInfo* Button = ClassRegistry::Find(QStringLiteral("tbutton"));
    ASSERT_NE(Button, nullptr);
    EXPECT_EQ(Button->Parent->Name, QStringLiteral("TWinControl"));
    EXPECT_TRUE(Button->InheritsFrom(QStringLiteral("TControl")));
    EXPECT_FALSE(Button->InheritsFrom(QStringLiteral("TGraphicControl")));
    ASSERT_TRUE(static_cast<bool>(Button->Create));
    std::unique_ptr<TComponent> Made(Button->Create(nullptr));
    EXPECT_EQ(Made->ClassName(), QStringLiteral("TButton"));
    EXPECT_NE(Button->FindProperty(QStringLiteral("Left")), nullptr);
    EXPECT_NE(Button->FindProperty(QStringLiteral("OnClick")), nullptr);
    EXPECT_EQ(Button->FindProperty(QStringLiteral("Checked")), nullptr);
    EXPECT_EQ(ClassRegistry::Find(QStringLiteral("TNoSuchClass")), nullptr);

    // A class's own row replaces its parent's in place, keeping table order.
    const auto Rows = ClassRegistry::Find(QStringLiteral("TPanel"))->Properties();
    QStringList Names;
    for (const TPropInfo* P : Rows)
        Names << P->Name;
    EXPECT_EQ(Names.count(QStringLiteral("Width")), 1);
    EXPECT_LT(Names.indexOf(QStringLiteral("Width")), Names.indexOf(QStringLiteral("Align")));
}

TEST_F(ClassesTest, NewComponentWritesOnlyItsClassAndName)
{
    TTestForm Form(nullptr);
    Form.SetName(QStringLiteral("frmTest"));
    Form.SetClientWidth(100);
    Form.SetClientHeight(50);
    for (const char* Class : {"TPanel", "TImage", "TButton", "TRadioButton", "TComboBox", "TGroupBox", "TDateTimePicker", "TListView"}) {
        std::unique_ptr<TComponent> C(ClassRegistry::Find(QString::fromLatin1(Class))->Create(nullptr));
        C->SetName(QStringLiteral("x"));
        const auto Rows = ClassRegistry::Of(*C)->Properties();
        EXPECT_TRUE(TWriter::WriteProperties(*C, Rows).isEmpty()) << Class << ": " << TWriter::WriteProperties(*C, Rows).join(u'|').toStdString();
    }
}

TEST_F(ClassesTest, DescriptionReadWrittenAndReadAgainGivesTheSameTreeAndText)
{
    const QString Text = TestWindowText();
    ASSERT_FALSE(Text.isEmpty());
    auto First = Load(Text);
    const QString Written = TWriter::WriteRootComponent(First.get());
    auto Second = Load(Written);
    EXPECT_EQ(TWriter::WriteRootComponent(Second.get()), Written);

    ASSERT_EQ(First->ComponentCount(), Second->ComponentCount());
    for (int I = 0; I < First->ComponentCount(); ++I) {
        TComponent* A = First->Components(I);
        TComponent* B = Second->Components(I);
        EXPECT_EQ(A->Name(), B->Name());
        EXPECT_EQ(A->ClassName(), B->ClassName());
        auto* CA = dynamic_cast<TControl*>(A);
        auto* CB = dynamic_cast<TControl*>(B);
        ASSERT_TRUE(CA && CB);
        EXPECT_EQ(CA->Parent()->Name(), CB->Parent()->Name());
        EXPECT_EQ(CA->BoundsRect(), CB->BoundsRect()) << A->Name().toStdString();
    }
    // The first write already normalised the text; the shipped file's values came through.
    EXPECT_TRUE(Written.contains(QStringLiteral("Font.Color = $00920A4E")));
    EXPECT_TRUE(Written.contains(QStringLiteral("OnItemChecked = lvViewItemChecked")));
    EXPECT_TRUE(Written.contains(QStringLiteral("GroupID = 0")));
}

TEST_F(ClassesTest, DefaultsAreNotWritten)
{
    auto Form = Load(Wrap(QStringLiteral("  ClientWidth = 300\n  ClientHeight = 200\n"
                                         "  object btn: TButton\n    Left = 0\n    Enabled = True\n    Caption = ''\n    TabOrder = 0\n  end\n"
                                         "  object pnl: TPanel\n    BevelOuter = bvRaised\n    Anchors = [akTop, akLeft]\n    TabOrder = 1\n  end\n")));
    const QString Written = TWriter::WriteRootComponent(Form.get());
    EXPECT_EQ(Written, QStringLiteral("object frmTest: TTestForm\n  ClientHeight = 200\n  ClientWidth = 300\n"
                                      "  object btn: TButton\n    TabOrder = 0\n  end\n"
                                      "  object pnl: TPanel\n    TabOrder = 1\n  end\nend\n"));
}

TEST_F(ClassesTest, OwnStoredRuleDecidesWhetherAPropertyIsWritten)
{
    TFlagPanel P(nullptr);
    const auto Rows = ClassRegistry::Of(P)->Properties();
    EXPECT_FALSE(TWriter::WriteProperties(P, Rows).contains(QStringLiteral("Flag = True")));
    P.SetFlag(true);
    EXPECT_TRUE(TWriter::WriteProperties(P, Rows).contains(QStringLiteral("Flag = True")));
}

TEST_F(ClassesTest, ReferenceToAComponentReadLaterIsResolvedAfterTheWholeDescription)
{
    auto Form = Load(Wrap(QStringLiteral("  object pnlLink: TLinkPanel\n    Target = btnLater\n  end\n"
                                         "  object btnLater: TButton\n  end\n"
                                         "  object pnlSelf: TLinkPanel\n    Target = frmTest\n  end\n")));
    auto* Link = Form->Find<TLinkPanel>("pnlLink");
    ASSERT_NE(Link, nullptr);
    EXPECT_EQ(Link->Target(), Form->Find<TButton>("btnLater"));
    EXPECT_FALSE(Link->TargetWasSetWhileReading);
    EXPECT_EQ(Form->Find<TLinkPanel>("pnlSelf")->Target(), Form.get());
    EXPECT_TRUE(TWriter::WriteRootComponent(Form.get()).contains(QStringLiteral("Target = btnLater")));
}

TEST_F(ClassesTest, LoadedRunsOnceForEveryComponentAfterReadingAndCreateAfterThat)
{
    auto Form = Load(Wrap(QStringLiteral("  OnCreate = FormCreate\n  object w1: TWatcher\n  end\n  object w2: TWatcher\n  end\n")));
    for (const char* N : {"w1", "w2"}) {
        auto* W = Form->Find<TWatcher>(N);
        ASSERT_NE(W, nullptr);
        EXPECT_EQ(W->LoadedCalls, 1);
        EXPECT_TRUE(W->WasLoadingInLoaded);
        EXPECT_EQ(W->ComponentState() & (csLoading | csReading), 0u);
    }
    EXPECT_EQ(Form->Calls, QStringList{QStringLiteral("FormCreate")});
    EXPECT_EQ(Form->ComponentState() & (csLoading | csReading), 0u);
}

TEST_F(ClassesTest, ValueSyntaxCoversStringsNumbersSetsListsAndComments)
{
    auto Form = Load(Wrap(QStringLiteral("  // a comment line\n"
                                         "  Caption = 'It''s'#13#10'two' +\n    ' lines'#$21\n"
                                         "  Color = $00FF8000\n"
                                         "  object cb: TComboBox\n    Items.Strings = ('a' 'b''c'\n    'd' + 'e')\n    ItemIndex = 2\n  end\n"
                                         "  object p: TPanel\n    Anchors = [akLeft, akRight]\n    Tag = -5\n  end\n")));
    EXPECT_EQ(Form->Caption(), QStringLiteral("It's\r\ntwo lines!"));
    EXPECT_EQ(Form->Color(), static_cast<TColor>(0x00FF8000));
    EXPECT_EQ(ColorToQColor(Form->Color()), QColor(0, 0x80, 0xFF));
    auto* Cb = Form->Find<TComboBox>("cb");
    EXPECT_EQ(Cb->Items(), (QStringList{QStringLiteral("a"), QStringLiteral("b'c"), QStringLiteral("de")}));
    EXPECT_EQ(Cb->ItemIndex(), 2);
    auto* P = Form->Find<TPanel>("p");
    EXPECT_EQ(P->Anchors(), (TAnchors{akLeft, akRight}));
    EXPECT_EQ(P->Tag(), -5);
    const QString Written = TWriter::WriteRootComponent(Form.get());
    EXPECT_TRUE(Written.contains(QStringLiteral("Caption = 'It''s'#13#10'two lines!'"))) << Written.toStdString();
}

TEST_F(ClassesTest, ReaderErrorsNameFileLineComponentPathAndCause)
{
    struct TCase
    {
        const char* Body;
        const char* Expected;
    };
    const TCase Cases[] = {
        {"  object pnl: TPanel\n    Colour = clRed\n  end\n", "bad.dfm, line 3, frmTest.pnl: Unknown property Colour"},
        {"  object pnl: TPanel\n    object btn: TButton\n      Enabled = 1\n    end\n  end\n",
            "bad.dfm, line 4, frmTest.pnl.btn: Enabled: Boolean expected"},
        {"  object pnl: TPanel\n    Align = alMiddle\n  end\n", "bad.dfm, line 3, frmTest.pnl: Align: One of alNone"},
        {"  object pnl: TPanel\n    Anchors = [akLeft, akNowhere]\n  end\n", "bad.dfm, line 3, frmTest.pnl: Anchors: akNowhere is not one of"},
        {"  object pnl: TPanel\n    Width = 'wide'\n  end\n", "bad.dfm, line 3, frmTest.pnl: Width: Integer expected"},
        {"  object pnl: TPanel\n    Color = clPink\n  end\n", "bad.dfm, line 3, frmTest.pnl: Color: Colour expected"},
        {"  object x: TNoSuchThing\n  end\n", "bad.dfm, line 2, frmTest.x: Unknown class TNoSuchThing"},
        {"  object btn: TButton\n    OnClick = btnMissingClick\n  end\n", "bad.dfm, line 3, frmTest.btn: Unknown handler btnMissingClick for OnClick"},
        {"  object btn: TButton\n    OnClick = lvViewItemChecked\n  end\n", "bad.dfm, line 3, frmTest.btn: OnClick: Handler lvViewItemChecked does not fit event OnClick"},
        {"  object lnk: TLinkPanel\n    Target = nobody\n  end\n", "bad.dfm, line 3, frmTest.lnk: Unresolved reference to nobody in Target"},
        {"  object lnk: TLinkPanel\n    Target = w\n  end\n  object w: TWatcher\n  end\n", "bad.dfm, line 3, frmTest.lnk: Target: w is of the wrong class"},
        {"  object a: TButton\n  end\n  object A: TButton\n  end\n", "bad.dfm, line 4, frmTest.A: A component named A already exists"},
        {"  object w: TWatcher\n    object b: TButton\n    end\n  end\n", "bad.dfm, line 3, frmTest.w.b: TButton is a control and must be placed on a windowed control"},
        {"  object btn: TButton\n    object inner: TButton\n    end\n  end\n",
            "bad.dfm, line 3, frmTest.btn.inner: TButton cannot be placed on btn, which does not accept controls"},
        {"  object pnl: TPanel\n    Caption = 'open\n  end\n", "bad.dfm, line 3: Unterminated string"},
        {"  object pnl: TPanel\n", "bad.dfm, line 4: 'end' expected"},
        {"  object lv: TListView\n    Columns = <\n      item\n        Wide = 3\n      end>\n  end\n",
            "bad.dfm, line 3, frmTest.lv: Columns: Unknown property Wide of a collection item"},
    };
    for (const TCase& C : Cases) {
        const QString Message = ReadError(Wrap(QString::fromLatin1(C.Body)));
        EXPECT_TRUE(Message.startsWith(QString::fromLatin1(C.Expected))) << C.Body << "\n  got: " << Message.toStdString();
    }
    EXPECT_TRUE(ReadError(QStringLiteral("object frmTest: TPanel\nend\n")).contains(QStringLiteral("not TTestForm")));
}

TEST_F(ClassesTest, ComponentsReadBeforeAnErrorStayOwnedAndLeaveLoadingState)
{
    TTestForm Form(nullptr);
    EXPECT_THROW(ReadComponentText(Wrap(QStringLiteral("  object ok: TButton\n  end\n  object bad: TButton\n    Nope = 1\n  end\n")),
                     QStringLiteral("bad.dfm"), &Form),
        EReadError);
    auto* Ok = Form.Find<TButton>("ok");
    ASSERT_NE(Ok, nullptr);
    EXPECT_FALSE(Ok->HasState(csLoading));
    EXPECT_FALSE(Form.HasState(csLoading));
}

TEST_F(ClassesTest, MissingDescriptionFileIsAnOpenError)
{
    QTemporaryDir Dir;
    TTestForm Form(nullptr);
    EXPECT_THROW(ReadComponentRes(Dir.filePath(QStringLiteral("none.dfm")), &Form), EFOpenError);
}

TEST_F(ClassesTest, ShippedTestDescriptionLoadsWithoutErrors)
{
    EXPECT_NO_THROW(Load(TestWindowText()));
}

TEST_F(ClassesTest, TabOrdersReadInAnyOrderEndInTheirPlaces)
{
    auto Form = Load(Wrap(QStringLiteral("  object a: TButton\n    TabOrder = 2\n  end\n"
                                         "  object b: TButton\n    TabOrder = 1\n  end\n"
                                         "  object c: TButton\n    TabOrder = 0\n  end\n"
                                         "  object d: TButton\n  end\n")));
    QStringList Order;
    for (TWinControl* C : Form->TabList())
        Order << C->Name();
    EXPECT_EQ(Order, (QStringList{"c", "b", "a", "d"}));
    EXPECT_EQ(Form->Find<TButton>("a")->TabOrder(), 2);
}

TEST_F(ClassesTest, EveryTruncationOfADescriptionFailsCleanly)
{
    // Cut anywhere, a description reads or raises a read error; it never crashes.
    const QString Text = TestWindowText();
    int Failures = 0;
    for (int Length = 0; Length < Text.size(); Length += 7) {
        TOwnedPtr<TTestForm> Form(new TTestForm(nullptr));
        try {
            ReadComponentText(Text.left(Length), QStringLiteral("cut.dfm"), Form.get());
        } catch (const EReadError&) {
            ++Failures;
        }
    }
    EXPECT_GT(Failures, 0);
}

TEST_F(ClassesTest, NestingIsLimited)
{
    auto Nested = [](int Depth) {
        QString Text = QStringLiteral("object frmTest: TTestForm\n");
        for (int I = 1; I < Depth; ++I)
            Text += QStringLiteral("object p%1: TPanel\n").arg(I);
        for (int I = 0; I < Depth; ++I)
            Text += QStringLiteral("end\n");
        return Text;
    };
    EXPECT_TRUE(ReadError(Nested(64)).isEmpty());
    EXPECT_TRUE(ReadError(Nested(65)).contains(QStringLiteral("nested too deeply")));
    QString Deep = QStringLiteral("  object lv: TListView\n    Columns = ");
    for (int I = 0; I < 10000; ++I)
        Deep += QStringLiteral("<item Caption = ");
    EXPECT_TRUE(ReadError(Wrap(Deep)).contains(QStringLiteral("nested too deeply")));
}

TEST_F(ClassesTest, CaptionsWithAnyCharactersSurviveWritingAndReading)
{
    const QString Captions[] = {
        QString(),
        QStringLiteral("'"),
        QStringLiteral("''x''"),
        QStringLiteral("\r\n"),
        QStringLiteral("a\tb\n"),
        QStringLiteral("#13 + 'quoted' // not a comment"),
        QString::fromUtf8("\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80"),
        QString(QChar(0)) + QStringLiteral("nul"),
        QStringLiteral("  two leading blanks"),
    };
    for (const QString& Caption : Captions) {
        TTestForm Form(nullptr);
        Form.SetName(QStringLiteral("frmTest"));
        auto* B = new TButton(&Form);
        B->SetName(QStringLiteral("btn"));
        B->SetParent(&Form);
        B->SetCaption(Caption);
        const QString Text = TWriter::WriteRootComponent(&Form);
        auto Again = Load(Text);
        EXPECT_EQ(Again->Find<TButton>("btn")->Caption(), Caption) << Text.toStdString();
    }
}
