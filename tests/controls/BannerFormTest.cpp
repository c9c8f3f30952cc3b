#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

#include "ControlsTestSupport.h"
#include "toolkit/ExtCtrls.h"

using namespace ControlsTest;

namespace {

QImage GrabWindow(TForm* Form)
{
    return Form->Widget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRect OnWindow(TForm* Form, const TControl* C)
{
    return QRect(C->Widget()->mapTo(Form->Widget(), QPoint(0, 0)), C->Widget()->size());
}

} // namespace

// The banner's labels are drawn straight onto the picture: inside a label
// only the strokes of its text differ from the picture alone.
TEST(BannerForm, LabelsShowTheirTextDirectlyOnThePicture)
{
    const QString Text = Description(QStringLiteral("BannerForm.txt"));
    ASSERT_FALSE(Text.isEmpty());
    TOwned<TForm> Form = LoadForm(Text, QStringLiteral("BannerForm.txt"));
    Form->Widget()->show();

    auto* Title = Find<TLabel>(Form.get(), "lbl_Title");
    auto* Detail = Find<TLabel>(Form.get(), "lbl_Detail");
    auto* Banner = Find<TImage>(Form.get(), "imgBanner");
    ASSERT_TRUE(Title && Detail && Banner);
    ASSERT_FALSE(Banner->Image().isNull());

    const QImage WithLabels = GrabWindow(Form.get());
    const QString Out = QStringLiteral(LUMIDOR_BUILD_DIR "/controls");
    QDir().mkpath(Out);
    EXPECT_TRUE(WithLabels.save(Out + QStringLiteral("/BannerForm.png")));

    Title->SetVisible(false);
    Detail->SetVisible(false);
    const QImage PictureOnly = GrabWindow(Form.get());

    for (TLabel* L : {Title, Detail}) {
        SCOPED_TRACE(L->Name().toStdString());
        EXPECT_TRUE(L->Transparent());
        const QRect Area = OnWindow(Form.get(), L);
        ASSERT_TRUE(PictureOnly.rect().contains(Area));
        int Strokes = 0;
        int Darker = 0;
        for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
            for (int X = Area.left(); X <= Area.right(); ++X) {
                const QRgb Now = WithLabels.pixel(X, Y);
                const QRgb Before = PictureOnly.pixel(X, Y);
                if (Now == Before)
                    continue;
                ++Strokes;
                // White text can only lighten the picture.
                if (qGray(Now) < qGray(Before))
                    ++Darker;
            }
        const int Pixels = Area.width() * Area.height();
        EXPECT_GT(Strokes, 0) << "no text drawn";
        EXPECT_LT(Strokes, Pixels / 2) << "a background was painted under the text";
        EXPECT_EQ(Darker, 0);
        // The corners, away from the strokes, are the picture's own pixels.
        EXPECT_EQ(WithLabels.pixel(Area.bottomRight()), PictureOnly.pixel(Area.bottomRight()));
    }

    // The auto-sized title was fitted to its text once the window was read;
    // the detail line kept its stored size.
    EXPECT_NE(Title->BoundsRect().size(), QSize(65, 17));
    EXPECT_EQ(Detail->BoundsRect(), QRect(24, 38, 400, 17));

    auto* Note = Find<TPageNote>(Form.get(), "pnMain");
    ASSERT_NE(Note, nullptr);
    EXPECT_EQ(Note->ActivePage(), Find<TPageTab>(Form.get(), "ptMain"));
    EXPECT_EQ(Note->TabCount(), 3);
}
