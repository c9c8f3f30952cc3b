#include <gtest/gtest.h>

#include <QAccessible>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <functional>

#include "TestForm.h"

// What the window tests over the accessibility bus cannot reach: captions
// that change or go, the radio arrows' edges, pictures at other densities.
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
    }
    template <class T>
    T* Make(TWinControl* Parent, const char* Caption = "")
    {
        auto* C = new T(Form.get());
        C->SetParent(Parent);
        C->SetCaption(QString::fromLatin1(Caption));
        return C;
    }
    static QAccessibleInterface* Iface(const TControl* C) { return QAccessible::queryAccessibleInterface(C->Widget()); }

    std::unique_ptr<TTestForm, TFree> Form;
};

TEST_F(AccessibilityTest, ALabellingControlNamesTheControlFollowsItsCaptionAndLeavesNoLinkWhenGone)
{
    auto* Panel = Make<TPanel>(Form.get());
    auto* Choice = Make<TRadioButton>(Panel, "  &After:");
    auto* Delay = Make<TComboBox>(Panel);
    auto* Frame = Make<TGroupBox>(Form.get(), "Salt && pepper");
    Delay->SetLabelledBy(Choice);
    Panel->SetLabelledBy(Frame);
    const auto LabelOf = [](const TControl* C) {
        QStringList Names;
        for (const auto& [Other, Relation] : Iface(C)->relations(QAccessible::Label))
            Names << Other->text(QAccessible::Name);
        return Names;
    };
    EXPECT_EQ(LabelOf(Delay), QStringList{"After:"});
    EXPECT_EQ(Iface(Panel)->text(QAccessible::Name), QStringLiteral("Salt & pepper"));

    // A translated caption renames what it labels.
    Choice->SetCaption(QStringLiteral("Nach:"));
    EXPECT_EQ(LabelOf(Delay), QStringList{"Nach:"});

    FreeComponent(Choice);
    FreeComponent(Frame);
    EXPECT_EQ(Delay->LabelledBy(), nullptr);
    EXPECT_TRUE(LabelOf(Delay).isEmpty());
    EXPECT_EQ(Iface(Panel)->text(QAccessible::Name), QString());
}

TEST_F(AccessibilityTest, ArrowKeysSkipDisabledButtonsAndWrapWithinTheGroupAndTabReachesTheSelectedOne)
{
    auto* Group = Make<TPanel>(Form.get());
    std::vector<TRadioButton*> R;
    for (const char* Caption : {"A", "B", "C", "D"})
        R.push_back(Make<TRadioButton>(Group, Caption));
    auto* Elsewhere = Make<TRadioButton>(Make<TPanel>(Form.get()), "E");
    Elsewhere->SetChecked(true);
    R[2]->SetEnabled(false);
    const auto TabStops = [&] {
        QString S;
        for (TRadioButton* B : R)
            S += B->Widget()->focusPolicy() & Qt::TabFocus ? B->Caption() : QStringLiteral("-");
        return S;
    };
    EXPECT_EQ(TabStops(), QStringLiteral("ABCD"));
    R[0]->SetChecked(true);

    const struct
    {
        Qt::Key Key;
        size_t Selected;
    } Steps[] = {{Qt::Key_Down, 1}, {Qt::Key_Right, 3}, {Qt::Key_Down, 0}, {Qt::Key_Up, 3}, {Qt::Key_Left, 1}};
    size_t At = 0;
    for (const auto& S : Steps) {
        QKeyEvent Key(QEvent::KeyPress, S.Key, Qt::NoModifier);
        QApplication::sendEvent(R[At]->Widget(), &Key);
        for (size_t I = 0; I < R.size(); ++I)
            EXPECT_EQ(R[I]->Checked(), I == S.Selected) << "key " << S.Key << ", button " << I;
        At = S.Selected;
    }
    EXPECT_EQ(TabStops(), QStringLiteral("-B--"));
    EXPECT_TRUE(Elsewhere->Checked());
}

// Where the focus lands when a page comes into view: where Tab would reach
// first, never on a control Tab passes by.
TEST_F(AccessibilityTest, SelectFirstFocusesTheFirstControlTabReachesInTabOrder)
{
    auto* Page = Make<TPanel>(Form.get());
    Make<TGroupBox>(Page, "Frame");
    auto* Group = Make<TPanel>(Page);
    auto* A = Make<TRadioButton>(Group, "A");
    auto* B = Make<TRadioButton>(Group, "B");
    auto* Last = Make<TButton>(Page, "Last");
    B->SetChecked(true);
    Form->Show();
    QApplication::setActiveWindow(Form->Widget());

    const struct
    {
        const char* Change;
        std::function<void()> Apply;
        TWinControl* Focused;
    } Steps[] = {
        {"the group's selected button, not the first", [] {}, B},
        {"the group's first when the selected one is disabled", [&] { B->SetEnabled(false); }, A},
        {"past a hidden group", [&] { Group->SetVisible(false); }, Last},
        {"in tab order, not in creation order", [&] { Group->SetVisible(true); Last->SetTabOrder(0); }, Last},
        {"nothing", [&] { Last->SetEnabled(false); Group->SetEnabled(false); }, nullptr},
    };
    for (const auto& S : Steps) {
        Form->SetFocus();
        S.Apply();
        EXPECT_EQ(Page->SelectFirst(), S.Focused != nullptr) << S.Change;
        if (S.Focused) {
            EXPECT_TRUE(S.Focused->Widget()->hasFocus()) << S.Change;
        }
    }
}

TEST_F(AccessibilityTest, AFocusedListShowsItsFocusAlsoWhenEmpty)
{
    auto* List = Make<TListView>(Form.get());
    List->SetBounds(10, 10, 200, 100);
    auto* Other = Make<TButton>(Form.get(), "Close");
    Form->Show();
    QApplication::setActiveWindow(Form->Widget());
    auto* View = static_cast<QAbstractScrollArea*>(List->Widget())->viewport();
    const QColor Ring = View->palette().color(QPalette::Highlight);
    for (TWinControl* Focused : {static_cast<TWinControl*>(List), static_cast<TWinControl*>(Other)}) {
        Focused->SetFocus();
        ASSERT_TRUE(Focused->Widget()->hasFocus()) << Focused->Caption().toStdString();
        const QImage Shown = View->grab().toImage();
        EXPECT_EQ(QColor(Shown.pixel(Shown.width() / 2, 0)) == Ring, Focused == List);
    }
}

// A picture drawn on a denser surface takes its "@2x" file when there is one.
TEST_F(AccessibilityTest, ADenseSurfaceDrawsTheDensePicture)
{
    QTemporaryDir Dir;
    QImage Plain(2, 2, QImage::Format_RGB32), Dense(4, 4, QImage::Format_RGB32);
    Plain.fill(Qt::red);
    Dense.fill(Qt::blue);
    ASSERT_TRUE(Plain.save(Dir.filePath("plain.png")) && Plain.save(Dir.filePath("dense.png")) && Dense.save(Dir.filePath("dense@2x.png")));
    const struct
    {
        const char* File;
        qreal Ratio;
        QColor Seen;
    } Cases[] = {{"dense.png", 1, Qt::red}, {"dense.png", 2, Qt::blue}, {"dense.png", 1.5, Qt::blue}, {"plain.png", 2, Qt::red}};
    for (const auto& C : Cases) {
        auto* Picture = Make<TImage>(Form.get());
        Picture->SetBounds(0, 0, 2, 2);
        Picture->SetPicture(Dir.filePath(QString::fromLatin1(C.File)));
        QImage Surface(qRound(2 * C.Ratio), qRound(2 * C.Ratio), QImage::Format_RGB32);
        Surface.setDevicePixelRatio(C.Ratio);
        Picture->Widget()->render(&Surface);
        EXPECT_EQ(QColor(Surface.pixel(1, 1)), C.Seen) << C.File << " at " << C.Ratio;
        FreeComponent(Picture);
    }
}

} // namespace
