// Windows read from descriptions with which the window-description fuzz
// target (fuzz/) once found a fault, kept in tests/data/fuzz/regressions/.
#include <QFile>

#include <gtest/gtest.h>

#include "ControlsTestSupport.h"
#include "toolkit/Classes.h"
#include "toolkit/StdCtrls.h"

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

QString Kept(const char* Name)
{
    QFile File(QStringLiteral(LUMIDOR_TEST_DATA "/fuzz/regressions/") + QLatin1String(Name));
    return File.open(QIODevice::ReadOnly) ? QString::fromUtf8(File.readAll()) : QString();
}

} // namespace

// What a read window writes reads back to the same text, at once.
TEST(WindowFindings, WrittenWindowReadsBackTheSame)
{
    for (const char* Name : {"window-hidden-aligned-page.dfm", "window-anchored-in-stretched-panel.dfm", "window-control-on-page-note.dfm",
             "window-wrapped-label-narrower-than-a-word.dfm"}) {
        const QString Text = Kept(Name);
        ASSERT_FALSE(Text.isEmpty()) << Name;
        const QString Written = TWriter::WriteRootComponent(Read(Text).get());
        EXPECT_EQ(TWriter::WriteRootComponent(Read(Written).get()).toStdString(), Written.toStdString()) << Name;
    }
}

// Where the controls of the kept windows lie once read.
// - The page is read hidden while its container still has its stored size;
//   the panel above, 5 high instead of 65, then moves and stretches it.
// - The button's place was read in the panel's stored width, 200; alignment
//   stretches the panel to 300, and the button keeps its distance to the right.
TEST(WindowFindings, ControlsLieWhereTheirParentsSizeAsReadPutsThem)
{
    struct TRow
    {
        const char* File;
        const char* Control;
        QRect Bounds;
        bool Visible;
    };
    const TRow Rows[] = {
        {"window-hidden-aligned-page.dfm", "pnMain", QRect(0, 5, 524, 115), true},
        {"window-hidden-aligned-page.dfm", "ptMain", QRect(0, 0, 524, 115), false},
        {"window-anchored-in-stretched-panel.dfm", "pnlTop", QRect(0, 0, 300, 65), true},
        {"window-anchored-in-stretched-panel.dfm", "btnBack", QRect(200, 19, 90, 25), true},
    };
    for (const TRow& Row : Rows) {
        TOwned<TfrmMain> Form = Read(Kept(Row.File));
        auto* Control = Find<TControl>(Form.get(), Row.Control);
        ASSERT_NE(Control, nullptr) << Row.Control;
        EXPECT_EQ(Control->BoundsRect(), Row.Bounds) << Row.File << " " << Row.Control;
        EXPECT_EQ(Control->Visible(), Row.Visible) << Row.Control;
    }
}

// A control read onto the page note itself, before any page, goes onto the
// page in view; left on the note it went unwritten yet held a tab stop there.
TEST(WindowFindings, ControlReadOntoThePageNoteGoesOntoThePageInView)
{
    TOwned<TfrmMain> Form = Read(Kept("window-control-on-page-note.dfm"));
    auto* Note = Find<TPageNote>(Form.get(), "pnMain");
    auto* Radio = Find<TRadioButton>(Form.get(), "rbRestart");
    ASSERT_TRUE(Note && Radio);
    EXPECT_EQ(Radio->Parent(), Note->ActivePage());
    QStringList Order;
    for (TWinControl* C : Note->TabList())
        Order << C->Name();
    EXPECT_EQ(Order, QStringList({QStringLiteral("ptDel"), QStringLiteral("ptMain")}));
}

// A page hidden later keeps following its container.
TEST(WindowFindings, PagesBehindTheActiveOneFollowTheContainer)
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
