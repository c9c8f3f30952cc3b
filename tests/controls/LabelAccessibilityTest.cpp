#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>

#include "ControlsTestSupport.h"
#include "toolkit/StdCtrls.h"

using namespace ControlsTest;

namespace {

const char* const TwoPages = R"(object frmMain: TForm
  ClientWidth = 300
  ClientHeight = 200
  object pnMain: TPageNote
    Align = alClient
    ActivePage = ptMain
    object ptMain: TPageTab
      object lblMain: TLabel
        Caption = 'Scheduled task:'
      end
    end
    object ptAdd: TPageTab
      Visible = False
      object lblAdd: TLabel
        Caption = 'Schedule &Time:'
        FocusControl = cbDelay
      end
      object cbDelay: TComboBox
        Style = csDropDownList
        Items.Strings = (
          '1 minute')
        ItemIndex = 0
      end
    end
  end
end
)";

QAccessibleInterface* Iface(TControl* C)
{
    return QAccessible::queryAccessibleInterface(C->Widget());
}

} // namespace

TEST(LabelAccessibility, ALabelIsReadAsItsText)
{
    TOwned<TForm> Form = LoadForm(QString::fromLatin1(TwoPages));
    auto* Main = Find<TLabel>(Form.get(), "lblMain");
    auto* Add = Find<TLabel>(Form.get(), "lblAdd");
    ASSERT_TRUE(Main && Add);
    EXPECT_EQ(Iface(Main)->role(), QAccessible::StaticText);
    EXPECT_EQ(Iface(Main)->text(QAccessible::Name), QStringLiteral("Scheduled task:"));
    EXPECT_EQ(Iface(Add)->text(QAccessible::Name), QStringLiteral("Schedule Time:"));
    Add->SetShowAccelChar(false);
    EXPECT_EQ(Iface(Add)->text(QAccessible::Name), QStringLiteral("Schedule &Time:"));

    // A caption set later is what is read.
    Main->SetCaption(QStringLiteral("Shutdown computer at: 12/8/2014 9:21 PM"));
    EXPECT_EQ(Iface(Main)->text(QAccessible::Name), QStringLiteral("Shutdown computer at: 12/8/2014 9:21 PM"));
}

TEST(LabelAccessibility, TheLabelNamesItsFocusControlAndAHiddenPageIsNotShowing)
{
    TOwned<TForm> Form = LoadForm(QString::fromLatin1(TwoPages));
    Form->Show();
    auto* Add = Find<TLabel>(Form.get(), "lblAdd");
    auto* Delay = Find<TComboBox>(Form.get(), "cbDelay");
    ASSERT_TRUE(Add && Delay);
    EXPECT_EQ(Delay->LabelledBy(), Add);
    const auto Labels = Iface(Delay)->relations(QAccessible::Label);
    ASSERT_EQ(Labels.size(), 1);
    EXPECT_EQ(Labels.first().first->text(QAccessible::Name), QStringLiteral("Schedule Time:"));
    const auto Named = Iface(Add)->relations(QAccessible::Labelled);
    ASSERT_EQ(Named.size(), 1);
    EXPECT_EQ(Named.first().first->object(), Delay->Widget());

    // Another focus control takes the name along.
    auto* Other = new TComboBox(Form.get());
    Other->SetParent(Delay->Parent());
    Add->SetFocusControl(Other);
    EXPECT_EQ(Delay->LabelledBy(), nullptr);
    EXPECT_EQ(Other->LabelledBy(), Add);
    EXPECT_TRUE(Iface(Delay)->relations(QAccessible::Label).isEmpty());

    auto* Note = Find<TPageNote>(Form.get(), "pnMain");
    auto* Main = Find<TLabel>(Form.get(), "lblMain");
    EXPECT_FALSE(Iface(Main)->state().invisible);
    EXPECT_TRUE(Iface(Add)->state().invisible);
    Note->SetActivePage(Find<TPageTab>(Form.get(), "ptAdd"));
    EXPECT_TRUE(Iface(Main)->state().invisible);
    EXPECT_FALSE(Iface(Add)->state().invisible);
    EXPECT_EQ(Iface(Note)->role(), QAccessible::Pane);
}
