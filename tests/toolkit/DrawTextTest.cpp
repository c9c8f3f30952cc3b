#include "toolkit/DrawText.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

QFont TestFont()
{
    QFont Font(QStringLiteral("DejaVu Sans Mono"));
    Font.setPixelSize(14);
    return Font;
}

int CharWidth()
{
    return QFontMetrics(TestFont()).horizontalAdvance(u'a');
}

int LineHeight()
{
    return QFontMetrics(TestFont()).height();
}

QSize Measure(const QString& Text, unsigned Flags, int Width = 0)
{
    QRect R(10, 20, Width, 0);
    DrawText(TestFont(), Text, R, Flags | DT_CALCRECT);
    EXPECT_EQ(R.topLeft(), QPoint(10, 20)) << Text.toStdString();
    return R.size();
}

QImage Render(const QString& Text, unsigned Flags, QRect R, QSize Size = QSize(200, 80))
{
    QImage Image(Size, QImage::Format_ARGB32);
    Image.fill(Qt::white);
    QPainter Painter(&Image);
    Painter.setFont(TestFont());
    Painter.setPen(Qt::black);
    DrawText(Painter, Text, R, Flags);
    return Image;
}

// The smallest rectangle holding every pixel that is not white.
QRect Ink(const QImage& Image)
{
    QRect Box;
    for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X)
            if (Image.pixel(X, Y) != qRgb(255, 255, 255))
                Box |= QRect(X, Y, 1, 1);
    return Box;
}

} // namespace

TEST(DrawText, MeasuringBoundsTheTextAsDisplayed)
{
    struct Case
    {
        const char* Text;
        unsigned Flags;
        const char* WidthOf; // the rectangle is as wide as this text, less Narrower pixels
        int Narrower;
        const char* SameAs;
        int Lines;
    };
    const Case Cases[] = {
        {"abc", 0, "", 0, "abc", 1},
        {"&abc", 0, "", 0, "abc", 1},
        {"a&&b", 0, "", 0, "a&b", 1},
        {"&abc", DT_NOPREFIX, "", 0, "&abc", 1},
        {"a&&b", DT_NOPREFIX, "", 0, "a&&b", 1},
        {"& ", 0, "", 0, " ", 1},
        {"ab\ncdef\r\ng", 0, "", 0, "cdef", 3},
        {"ab\r\rc", 0, "", 0, "ab", 3},
        {"abc\n", 0, "", 0, "abc", 1},
        {"\tb", 0, "", 0, " b", 1},
        {"aa bb cc", DT_WORDBREAK, "aa bb", 0, "aa bb", 2},
        {"aa bb cc", DT_WORDBREAK, "aa bb", 1, "aa", 3},
        {"aa\tbb", DT_WORDBREAK, "aa ", 0, "aa ", 2},
        // A word wider than the rectangle widens the measure instead of being split.
        {"abcdefgh ij", DT_WORDBREAK, "abc", 0, "abcdefgh", 2},
    };
    for (const Case& K : Cases) {
        SCOPED_TRACE(K.Text);
        int Width = std::max(0, Measure(QString::fromUtf8(K.WidthOf), DT_NOPREFIX).width() - K.Narrower);
        QSize Got = Measure(QString::fromUtf8(K.Text), K.Flags, Width);
        int Expected = Measure(QString::fromUtf8(K.SameAs), DT_NOPREFIX).width();
        if (K.Flags & DT_WORDBREAK)
            Expected = std::max(Expected, Width);
        EXPECT_EQ(Got.width(), Expected);
        EXPECT_EQ(Got.height(), K.Lines * LineHeight());
    }
}

TEST(DrawText, MeasuringPlainTextAgreesWithTheFontMetrics)
{
    QFontMetricsF Metrics(TestFont());
    EXPECT_NEAR(Measure(QStringLiteral("Hello world"), 0).width(), Metrics.horizontalAdvance(QStringLiteral("Hello world")), 1.0);
    EXPECT_EQ(Measure(QStringLiteral("Hello"), 0).height(), QFontMetrics(TestFont()).height());
}

TEST(DrawText, EmptyTextMeasuresNothingAndALoneAmpersandOneEmptyLine)
{
    EXPECT_EQ(Measure(QString(), 0), QSize(0, 0));
    EXPECT_EQ(Measure(QStringLiteral("&"), 0), QSize(0, LineHeight()));
    EXPECT_EQ(Measure(QStringLiteral("&"), DT_NOPREFIX).height(), LineHeight());
}

TEST(DrawText, ExpandedTabsStopEveryEightAverageCharacters)
{
    QFontMetrics Metrics(TestFont());
    int Stop = 8 * Metrics.averageCharWidth();
    EXPECT_NEAR(Measure(QStringLiteral("\tb"), DT_EXPANDTABS).width(), Stop + CharWidth(), 1);
    EXPECT_NEAR(Measure(QStringLiteral("ab\tb"), DT_EXPANDTABS).width(), Stop + CharWidth(), 1);
}

TEST(DrawText, ReturnsTheHeightAndLeavesTheRectangleAloneWhenNotMeasuring)
{
    QRect R(5, 5, 30, 30);
    EXPECT_EQ(DrawText(TestFont(), QStringLiteral("a\nb"), R, 0), 2 * LineHeight());
    EXPECT_EQ(R, QRect(5, 5, 30, 30));

    QImage Image(50, 50, QImage::Format_ARGB32);
    QPainter Painter(&Image);
    Painter.setFont(TestFont());
    EXPECT_EQ(DrawText(Painter, QStringLiteral("a\nb\nc"), R, 0), 3 * LineHeight());
    EXPECT_EQ(R, QRect(5, 5, 30, 30));
    QRect Measured(0, 0, 0, 0);
    DrawText(Painter, QStringLiteral("abc"), Measured, DT_CALCRECT);
    EXPECT_EQ(Measured.size(), Measure(QStringLiteral("abc"), 0));
}

TEST(DrawText, MeasuringDrawsNothing)
{
    QImage Image = Render(QStringLiteral("abc"), DT_CALCRECT, QRect(0, 0, 100, 40));
    EXPECT_TRUE(Ink(Image).isNull());
}

TEST(DrawText, EllipsisShortensWhatDoesNotFitAsDrawn)
{
    struct Case
    {
        const char* Text;
        unsigned Flags;
        const char* WidthOf; // the rectangle is exactly as wide as this text
        const char* Looks;
    };
    const Case Cases[] = {
        {"abc", DT_END_ELLIPSIS, "abcdef", "abc"},
        {"abcdefghij", DT_END_ELLIPSIS, "abc...", "abc..."},
        {"abcdefghij", DT_WORD_ELLIPSIS, "abc...", "abc..."},
        {"abcdefghij", DT_END_ELLIPSIS, "ab", "..."},
        {"abcdefghij", DT_PATH_ELLIPSIS, "ab...ij", "ab...ij"},
        {"aaaa/bbbb/name", DT_PATH_ELLIPSIS, "aa.../name", "aa.../name"},
        {"aaaa\\bbbb\\name", DT_PATH_ELLIPSIS, "aa...\\name", "aa...\\name"},
        {"aaaa/longname", DT_PATH_ELLIPSIS, "aaaaaaa", ".../longname"},
        {"ab\ncdefghij", DT_END_ELLIPSIS, "cde...", "ab\ncde..."},
        // Inside a broken text only the last line ends in an ellipsis.
        {"aaaaaaaa bb cccccccc", DT_WORDBREAK | DT_END_ELLIPSIS, "cc...", "aaaaaaaa\nbb\ncc..."},
        {"aaaaaaaa bb", DT_WORDBREAK | DT_WORD_ELLIPSIS, "aa...", "aa...\nbb"},
        {"&abcdefghij", DT_END_ELLIPSIS, "abc...", "&abc..."},
    };
    for (const Case& K : Cases) {
        SCOPED_TRACE(K.Text);
        QRect R(4, 4, Measure(QString::fromUtf8(K.WidthOf), DT_NOPREFIX).width(), 70);
        QImage Got = Render(QString::fromUtf8(K.Text), K.Flags, R);
        QImage Want = Render(QString::fromUtf8(K.Looks), 0, R);
        EXPECT_TRUE(Got == Want) << "does not look like " << K.Looks;
        EXPECT_TRUE(R.contains(Ink(Got))) << "drawn outside its rectangle";
    }
}

TEST(DrawText, AlignsEachLineWithinTheRectangle)
{
    const QRect R(0, 0, 120, 40);
    QRect Left = Ink(Render(QStringLiteral("ab"), DT_LEFT, R));
    QRect Center = Ink(Render(QStringLiteral("ab"), DT_CENTER, R));
    QRect Right = Ink(Render(QStringLiteral("ab"), DT_RIGHT, R));
    int Width = Measure(QStringLiteral("ab"), 0).width();
    EXPECT_EQ(Right.left() - Left.left(), R.width() - Width);
    EXPECT_EQ(Center.left() - Left.left(), (R.width() - Width) / 2);
    EXPECT_EQ(Right.top(), Left.top());

    // Each line on its own: the short line of a right-aligned pair ends where the long one does.
    QImage Two = Render(QStringLiteral("abcd\nab"), DT_RIGHT, R);
    QRect Top = Ink(Two.copy(0, 0, 120, LineHeight()));
    QRect Bottom = Ink(Two.copy(0, LineHeight(), 120, LineHeight()));
    EXPECT_NEAR(Top.right(), Bottom.right(), 1);
    EXPECT_LT(Top.left(), Bottom.left());
}

TEST(DrawText, PrefixUnderlinesOnlyTheMarkedCharacter)
{
    const QRect R(0, 0, 120, 40);
    QImage Marked = Render(QStringLiteral("a&bc"), 0, R);
    QImage Plain = Render(QStringLiteral("abc"), 0, R);
    ASSERT_NE(Marked, Plain);
    int C = CharWidth();
    // Only the columns of "b" differ.
    QRect Differs;
    for (int Y = 0; Y < R.height(); ++Y)
        for (int X = 0; X < R.width(); ++X)
            if (Marked.pixel(X, Y) != Plain.pixel(X, Y))
                Differs |= QRect(X, Y, 1, 1);
    EXPECT_GE(Differs.left(), C - 1);
    EXPECT_LE(Differs.right(), 2 * C + 1);
    EXPECT_EQ(Render(QStringLiteral("a&&b"), 0, R), Render(QStringLiteral("a&b"), DT_NOPREFIX, R));
}

TEST(DrawText, RightToLeftReadingOrdersNeutralsByTheParagraph)
{
    const QRect R(0, 0, 120, 40);
    EXPECT_EQ(Render(QStringLiteral("abc!"), DT_RTLREADING, R), Render(QStringLiteral("!abc"), 0, R));
    EXPECT_NE(Render(QStringLiteral("abc!"), 0, R), Render(QStringLiteral("!abc"), 0, R));
}

TEST(DrawText, ClipsToTheRectangleAndUsesThePen)
{
    const int C = CharWidth();
    QRect R(10, 10, 3 * C, LineHeight());
    QImage Image(200, 60, QImage::Format_ARGB32);
    Image.fill(Qt::white);
    QPainter Painter(&Image);
    Painter.setFont(TestFont());
    Painter.setPen(QColor(255, 0, 0));
    DrawText(Painter, QStringLiteral("WWWWWWWW\nWWW"), R, 0);
    Painter.end();
    QRect Box = Ink(Image);
    EXPECT_TRUE(R.contains(Box));
    bool Red = false;
    for (int Y = Box.top(); Y <= Box.bottom(); ++Y)
        for (int X = Box.left(); X <= Box.right(); ++X)
            Red |= Image.pixel(X, Y) == qRgb(255, 0, 0);
    EXPECT_TRUE(Red);
}
