#include <QFile>

#include <gtest/gtest.h>

#include "ControlsTestSupport.h"
#include "toolkit/Classes.h"

using namespace ControlsTest;

namespace {

// The root class the kept description names.
class TfrmMain : public TForm
{
public:
    explicit TfrmMain(TComponent* AOwner) : TForm(AOwner) {}
};

TOwned<TfrmMain> Read(const QString& Text)
{
    RegisterAll();
    RegisterClass<TfrmMain, TForm>(QStringLiteral("TfrmMain"));
    TOwned<TfrmMain> Form(new TfrmMain(nullptr));
    ReadComponentText(Text, QStringLiteral("window.dfm"), Form.get());
    return Form;
}

} // namespace

// The page is read hidden while its container still has its stored size; the
// panel above, 5 high instead of 65, then moves and stretches the container.
TEST(HiddenAlignedPage, HiddenPageFillsItsResizedContainerAndWritingIsStableAtOnce)
{
    QFile File(QStringLiteral(LUMIDOR_TEST_DATA "/fuzz/regressions/window-hidden-aligned-page.dfm"));
    ASSERT_TRUE(File.open(QIODevice::ReadOnly));
    TOwned<TfrmMain> First = Read(QString::fromUtf8(File.readAll()));

    auto* Note = Find<TPageNote>(First.get(), "pnMain");
    auto* Page = Find<TPageTab>(First.get(), "ptMain");
    ASSERT_TRUE(Note && Page);
    EXPECT_EQ(Note->BoundsRect(), QRect(0, 5, 524, 115));
    EXPECT_FALSE(Page->Visible());
    EXPECT_EQ(Page->BoundsRect(), Note->ClientRect());

    const QString Written = TWriter::WriteRootComponent(First.get());
    TOwned<TfrmMain> Second = Read(Written);
    EXPECT_EQ(TWriter::WriteRootComponent(Second.get()).toStdString(), Written.toStdString());
}

// A page hidden later keeps following its container.
TEST(HiddenAlignedPage, PagesBehindTheActiveOneFollowTheContainer)
{
    TOwned<TfrmMain> Form = Read(QStringLiteral(R"(object frmMain: TfrmMain
  ClientWidth = 300
  ClientHeight = 200
  object pnMain: TPageNote
    Align = alClient
    object ptA: TPageTab
    end
    object ptB: TPageTab
    end
  end
end
)"));
    auto* Note = Find<TPageNote>(Form.get(), "pnMain");
    ASSERT_NE(Note, nullptr);
    Note->SetTabIndex(0);
    Form->SetClientWidth(360);
    Form->SetClientHeight(240);
    ASSERT_EQ(Note->BoundsRect(), QRect(0, 0, 360, 240));
    for (int I = 0; I < Note->TabCount(); ++I)
        EXPECT_EQ(Note->Pages(I)->BoundsRect(), QRect(0, 0, 360, 240)) << I;
    EXPECT_FALSE(Note->Pages(1)->Visible());
}
