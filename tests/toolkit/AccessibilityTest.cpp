#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPainter>
#include <QTemporaryDir>

#include "TestForm.h"

namespace {

struct TFree
{
    void operator()(TComponent* C) const { FreeComponent(C); }
};

class AccessibilityTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RegisterToolkitClasses();
        Form.reset(new TTestForm(nullptr, false));
        Form->SetClientWidth(400);
        Form->SetClientHeight(300);
    }

    template <class T>
    T* Make(TWinControl* Parent, const QString& Caption = QString())
    {
        auto* C = new T(Form.get());
        C->SetParent(Parent);
        if (!Caption.isEmpty())
            C->SetCaption(Caption);
        return C;
    }
    static QAccessibleInterface* Iface(const TControl* C) { return QAccessible::queryAccessibleInterface(C->Widget()); }
    static void Press(TControl* C, Qt::Key Key)
    {
        QKeyEvent Down(QEvent::KeyPress, Key, Qt::NoModifier);
        QApplication::sendEvent(C->Widget(), &Down);
    }

    std::unique_ptr<TTestForm, TFree> Form;
};

TEST_F(AccessibilityTest, ControlsTellTheirRoleNameAndState)
{
    Form->SetCaption(QStringLiteral("Zelvo Lumidor"));
    auto* Panel = Make<TPanel>(Form.get());
    auto* Picture = Make<TImage>(Panel);
    auto* Selected = Make<TRadioButton>(Panel, QStringLiteral("  &After:"));
    auto* Cleared = Make<TRadioButton>(Panel, QStringLiteral("Or at"));
    auto* Button = Make<TButton>(Panel, QStringLiteral("Close"));
    Selected->SetChecked(true);
    const struct
    {
        TControl* Control;
        QAccessible::Role Role;
        QString Name;
        bool Checkable;
        bool Checked;
    } Cases[] = {
        {Form.get(), QAccessible::Window, QStringLiteral("Zelvo Lumidor"), false, false},
        {Panel, QAccessible::Pane, QString(), false, false},
        // Decorative: no name.
        {Picture, QAccessible::Graphic, QString(), false, false},
        // Not the check box that an ungrouped Qt button would be.
        {Selected, QAccessible::RadioButton, QStringLiteral("After:"), true, true},
        {Cleared, QAccessible::RadioButton, QStringLiteral("Or at"), true, false},
        {Button, QAccessible::Button, QStringLiteral("Close"), false, false},
    };
    for (const auto& C : Cases) {
        QAccessibleInterface* I = Iface(C.Control);
        ASSERT_NE(I, nullptr) << C.Name.toStdString();
        EXPECT_EQ(I->role(), C.Role) << C.Name.toStdString();
        EXPECT_EQ(I->text(QAccessible::Name), C.Name);
        EXPECT_EQ(I->state().checkable, C.Checkable) << C.Name.toStdString();
        EXPECT_EQ(I->state().checked, C.Checked) << C.Name.toStdString();
    }
    // Pressing a radio button through its interface selects it.
    Iface(Cleared)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(Cleared->Checked());
    EXPECT_FALSE(Selected->Checked());
}

TEST_F(AccessibilityTest, AccessibleTextDropsAcceleratorMarksAndStrayBlanks)
{
    const struct
    {
        QString Caption;
        bool StripAccel;
        QString Said;
    } Cases[] = {
        {QStringLiteral("&Name"), true, QStringLiteral("Name")},
        {QStringLiteral("Salt && pepper"), true, QStringLiteral("Salt & pepper")},
        {QStringLiteral("&"), true, QStringLiteral("&")},
        {QStringLiteral("  After:"), true, QStringLiteral("After:")},
        {QStringLiteral("Shuts down at a scheduled time. \r\n"), true, QStringLiteral("Shuts down at a scheduled time.")},
        {QStringLiteral("&Name"), false, QStringLiteral("&Name")},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(AccessibleText(C.Caption, C.StripAccel), C.Said) << C.Caption.toStdString();
}

TEST_F(AccessibilityTest, ALabellingControlNamesTheControlAndFollowsItsCaption)
{
    auto* Panel = Make<TPanel>(Form.get());
    auto* Choice = Make<TRadioButton>(Panel, QStringLiteral("  After:"));
    auto* Delay = Make<TComboBox>(Panel);
    auto* Frame = Make<TGroupBox>(Form.get(), QStringLiteral("Action"));
    Delay->SetItems({QStringLiteral("1 minute")});
    Delay->SetItemIndex(0);
    Delay->SetLabelledBy(Choice);
    Panel->SetLabelledBy(Frame);

    const auto LabelOf = [](const TControl* C) {
        QStringList Names;
        for (const auto& [Other, Relation] : Iface(C)->relations(QAccessible::Label))
            Names << Other->text(QAccessible::Name);
        return Names;
    };
    EXPECT_EQ(LabelOf(Delay), QStringList{QStringLiteral("After:")});
    EXPECT_EQ(LabelOf(Panel), QStringList{QStringLiteral("Action")});
    EXPECT_EQ(Iface(Panel)->text(QAccessible::Name), QStringLiteral("Action"));
    ASSERT_EQ(Iface(Choice)->relations(QAccessible::Labelled).size(), 1);

    // A translated caption renames what it labels.
    Choice->SetCaption(QStringLiteral("Nach:"));
    Frame->SetCaption(QStringLiteral("Aktion"));
    EXPECT_EQ(LabelOf(Delay), QStringList{QStringLiteral("Nach:")});
    EXPECT_EQ(Iface(Panel)->text(QAccessible::Name), QStringLiteral("Aktion"));

    // A labelling control that goes leaves no name and no dangling link behind.
    FreeComponent(Choice);
    FreeComponent(Frame);
    EXPECT_EQ(Delay->LabelledBy(), nullptr);
    EXPECT_TRUE(LabelOf(Delay).isEmpty());
    EXPECT_EQ(Iface(Panel)->text(QAccessible::Name), QString());
}

TEST_F(AccessibilityTest, ArrowKeysMoveTheSelectionWithinTheGroupAndTabReachesTheSelectedOne)
{
    auto* Group = Make<TPanel>(Form.get());
    auto* Other = Make<TPanel>(Form.get());
    std::vector<TRadioButton*> R;
    for (const char* Caption : {"A", "B", "C", "D"})
        R.push_back(Make<TRadioButton>(Group, QString::fromLatin1(Caption)));
    auto* Elsewhere = Make<TRadioButton>(Other, QStringLiteral("E"));
    Elsewhere->SetChecked(true);
    R[2]->SetEnabled(false);
    QStringList Clicks;
    for (TRadioButton* B : R)
        B->OnClick = TNotifyEvent([&Clicks](TObject* Sender) { Clicks << static_cast<TControl*>(Sender)->Caption(); });

    const auto TabStops = [&] {
        QString S;
        for (TRadioButton* B : R)
            S += B->Widget()->focusPolicy() & Qt::TabFocus ? B->Caption() : QStringLiteral("-");
        return S;
    };
    // None selected: every button is reached.
    EXPECT_EQ(TabStops(), QStringLiteral("ABCD"));
    R[0]->SetChecked(true);
    EXPECT_EQ(TabStops(), QStringLiteral("A---"));

    // Down and Right step on, Up and Left back, skipping the disabled C and wrapping.
    const struct
    {
        Qt::Key Key;
        int Selected;
    } Steps[] = {{Qt::Key_Down, 1}, {Qt::Key_Right, 3}, {Qt::Key_Down, 0}, {Qt::Key_Up, 3}, {Qt::Key_Left, 1}};
    int At = 0;
    for (const auto& S : Steps) {
        Press(R[static_cast<size_t>(At)], S.Key);
        for (size_t I = 0; I < R.size(); ++I)
            EXPECT_EQ(R[I]->Checked(), static_cast<int>(I) == S.Selected) << "after key " << S.Key << " button " << I;
        At = S.Selected;
    }
    EXPECT_EQ(Clicks, QStringList({"A", "B", "D", "A", "D", "B"}));
    EXPECT_EQ(TabStops(), QStringLiteral("-B--"));
    // The other group is untouched.
    EXPECT_TRUE(Elsewhere->Checked());
}

TEST_F(AccessibilityTest, EnterPressesTheFocusedButtonAndEscapeTheCancelButton)
{
    auto* Bar = Make<TPanel>(Form.get());
    auto* Next = Make<TButton>(Bar, QStringLiteral("Next >"));
    auto* Close = Make<TButton>(Bar, QStringLiteral("Close"));
    auto* Delay = Make<TComboBox>(Form.get());
    Close->SetCancel(true);
    Form->Show();
    QStringList Clicks;
    Next->OnClick = TNotifyEvent([&Clicks](TObject*) { Clicks << QStringLiteral("Next"); });
    Close->OnClick = TNotifyEvent([&Clicks](TObject*) { Clicks << QStringLiteral("Close"); });

    const struct
    {
        TControl* Target;
        Qt::Key Key;
        bool CloseEnabled;
        QStringList Clicks;
    } Cases[] = {
        {Next, Qt::Key_Return, true, {"Next"}},
        {Next, Qt::Key_Enter, true, {"Next"}},
        {Next, Qt::Key_Escape, true, {"Close"}},
        {Delay, Qt::Key_Escape, true, {"Close"}},
        // A disabled cancel button is not pressed.
        {Delay, Qt::Key_Escape, false, {}},
        {Delay, Qt::Key_Return, true, {}},
    };
    for (const auto& C : Cases) {
        Clicks.clear();
        Close->SetEnabled(C.CloseEnabled);
        Press(C.Target, C.Key);
        EXPECT_EQ(Clicks, C.Clicks) << C.Target->Caption().toStdString() << " key " << C.Key;
    }
}

// A picture drawn on a surface of twice the density takes its "@2x" file.
TEST_F(AccessibilityTest, AHighDensitySurfaceDrawsTheDensePicture)
{
    QTemporaryDir Dir;
    ASSERT_TRUE(Dir.isValid());
    QImage Plain(2, 2, QImage::Format_RGB32);
    Plain.fill(Qt::red);
    ASSERT_TRUE(Plain.save(Dir.filePath(QStringLiteral("plain.png"))));
    ASSERT_TRUE(Plain.save(Dir.filePath(QStringLiteral("dense.png"))));
    QImage Dense(4, 4, QImage::Format_RGB32);
    Dense.fill(Qt::blue);
    ASSERT_TRUE(Dense.save(Dir.filePath(QStringLiteral("dense@2x.png"))));

    const struct
    {
        const char* File;
        qreal Ratio;
        QColor Seen;
    } Cases[] = {
        {"dense.png", 1, Qt::red},
        {"dense.png", 2, Qt::blue},
        {"dense.png", 1.5, Qt::blue},
        // Without a dense file the picture is scaled as before.
        {"plain.png", 2, Qt::red},
    };
    for (const auto& C : Cases) {
        auto* Picture = Make<TImage>(Form.get());
        Picture->SetBounds(0, 0, 2, 2);
        Picture->SetPicture(Dir.filePath(QString::fromLatin1(C.File)));
        QImage Surface(qRound(2 * C.Ratio), qRound(2 * C.Ratio), QImage::Format_RGB32);
        Surface.setDevicePixelRatio(C.Ratio);
        Surface.fill(Qt::white);
        Picture->Widget()->render(&Surface);
        EXPECT_EQ(QColor(Surface.pixel(1, 1)), C.Seen) << C.File << " at " << C.Ratio;
        FreeComponent(Picture);
    }
}

} // namespace
