#include "resources/fonts/Fonts.h"
#include "resources/pictures/Pictures.h"

#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <gtest/gtest.h>

TEST(ResourcesTest, PicturesAreCompiledInAtTheirSizes)
{
    Pictures::Register();
    struct TCase
    {
        const char* Path;
        QSize Size;
    } cases[] = {
        {":/pictures/banner.png", {680, 90}},
        {":/pictures/logo.png", {48, 48}},
        {":/pictures/add.png", {32, 32}},
        {":/pictures/delete.png", {32, 32}},
        {":/pictures/separator.png", {13, 1}},
        {":/pictures/lumidor-48.png", {48, 48}},
        {":/pictures/lumidor-64.png", {64, 64}},
        {":/pictures/lumidor-128.png", {128, 128}},
        {":/pictures/lumidor-256.png", {256, 256}},
    };
    for (const TCase& c : cases) {
        QImage image(QString::fromLatin1(c.Path));
        EXPECT_FALSE(image.isNull()) << c.Path;
        EXPECT_EQ(image.size(), c.Size) << c.Path;
    }
}

TEST(ResourcesTest, WindowFontsResolveToMetricCompatibleFaces)
{
    Fonts::InstallSubstitutes();
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(12);
    EXPECT_EQ(QFontInfo(arial).family(), QStringLiteral("Liberation Sans"));

    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(11);
    if (QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"))) {
        EXPECT_EQ(QFontInfo(tahoma).family(), QStringLiteral("Tahoma"));
    }
    // The banner's detail line must fit its fixed 439 pixels.
    const QString detail = QStringLiteral("Shuts down your computer automatically at a scheduled time. ");
    EXPECT_LE(QFontMetrics(tahoma).horizontalAdvance(detail), 439);
}
