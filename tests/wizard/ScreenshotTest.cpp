#include "WizardFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>

// The three pages as a user sees them, written to <build>/screenshots for a
// person to look at (tools/screenshot runs only this).
TEST_F(WizardTest, ScreenshotsOfTheThreePages)
{
    TfrmMain& F = MakeForm();
    const struct
    {
        const char* Label;
        int Group;
    } Jobs[] = {
        {"Shutdown computer at: 12/8/2014 9:30 PM", 0},
        {"Shutdown computer at: 10:00 PM Friday", 0},
        {"Restart computer at: 7:00 AM Everyday", 1},
    };
    for (const auto& Job : Jobs) {
        TListItem* Row = F.lvView->Items().Add();
        Row->SetCaption(QString::fromLatin1(Job.Label));
        Row->SetGroupID(Job.Group);
    }
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
