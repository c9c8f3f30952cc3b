#include "WizardFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>

// The three pages as a user sees them, with three jobs listed, written to
// <build>/screenshots for a person to look at (tools/screenshot runs only this).
TEST_F(WizardTest, ScreenshotsOfTheThreePages)
{
    // Three jobs as earlier runs left them; the first page names the one due next.
    AddJob(QStringLiteral("Zelvo_Lumidor20141208211000"), QStringLiteral("Shutdown computer at: 12/8/2014 9:30 PM"), true,
        At(2014, 12, 8, 21, 30));
    AddJob(QStringLiteral("Zelvo_Lumidor20141208211500"), QStringLiteral("Shutdown computer at: 10:00 PM Friday"), true,
        At(2014, 12, 8, 22, 0), 2);
    AddJob(QStringLiteral("Zelvo_Lumidor20141208211800"), QStringLiteral("Restart computer at: 7:00 AM Everyday"), false,
        At(2014, 12, 9, 7, 0), 1);
    TfrmMain& F = MakeForm();
    ASSERT_EQ(F.lvView->Items().Count(), 3);
    EXPECT_EQ(F.lbl_Job->Caption(), "Shutdown computer at: 12/8/2014 9:30 PM");
    F.Show();

    const QString Dir = QStringLiteral(LUMIDOR_BUILD_DIR "/screenshots");
    ASSERT_TRUE(QDir().mkpath(Dir));
    const auto Save = [&](const char* Name) {
        QCoreApplication::processEvents();
        const QImage Image = F.Widget()->grab().toImage();
        EXPECT_EQ(Image.size(), QSize(524, 350)) << Name;
        EXPECT_TRUE(Image.save(Dir + u'/' + QLatin1String(Name))) << Name;
    };

    Save("wizard-main.png");
    Click(F.btnNext);
    Save("wizard-add.png");
    Click(F.btnBack);
    Click(F.rbDelete);
    Click(F.btnNext);
    F.lvView->Items()[1]->SetChecked(true);
    Save("wizard-delete.png");
}
