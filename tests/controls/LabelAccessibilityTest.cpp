#include <gtest/gtest.h>

#include <QAccessible>

#include "ControlsTestSupport.h"
#include "toolkit/StdCtrls.h"

using namespace ControlsTest;

TEST(LabelAccessibility, ALabelIsReadAsItsTextAndNamesItsFocusControl)
{
    TOwned<TForm> Form = LoadForm(QStringLiteral(R"(object frmMain: TForm
  object lblAdd: TLabel
    Caption = 'Schedule &Time:'
    FocusControl = cbDelay
  end
  object cbDelay: TComboBox
  end
end
)"));
    auto* Label = Find<TLabel>(Form.get(), "lblAdd");
    auto* Delay = Find<TComboBox>(Form.get(), "cbDelay");
    ASSERT_TRUE(Label && Delay);
    const auto Iface = [](TControl* C) { return QAccessible::queryAccessibleInterface(C->Widget()); };
    EXPECT_EQ(Iface(Label)->role(), QAccessible::StaticText);
    EXPECT_EQ(Iface(Label)->text(QAccessible::Name), QStringLiteral("Schedule Time:"));
    Label->SetShowAccelChar(false);
    EXPECT_EQ(Iface(Label)->text(QAccessible::Name), QStringLiteral("Schedule &Time:"));

    const auto Labels = Iface(Delay)->relations(QAccessible::Label);
    ASSERT_EQ(Labels.size(), 1);
    EXPECT_EQ(Labels.first().first->text(QAccessible::Name), QStringLiteral("Schedule &Time:"));
    const auto Named = Iface(Label)->relations(QAccessible::Labelled);
    ASSERT_EQ(Named.size(), 1);
    EXPECT_EQ(Named.first().first->object(), Delay->Widget());

    // Another focus control takes the name along.
    auto* Other = new TComboBox(Form.get());
    Other->SetParent(Form.get());
    Label->SetFocusControl(Other);
    EXPECT_EQ(Delay->LabelledBy(), nullptr);
    EXPECT_EQ(Other->LabelledBy(), Label);
    EXPECT_TRUE(Iface(Delay)->relations(QAccessible::Label).isEmpty());
}
