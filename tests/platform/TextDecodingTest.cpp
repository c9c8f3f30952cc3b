#include "platform/TextDecoding.h"

#include <gtest/gtest.h>

// The language files' decoding through the INI reader is tested with
// TIniSections; here the edges of the code page and of the marks.

TEST(TextDecoding, Windows1252DiffersFromLatin1OnlyFrom0x80To0x9F)
{
    const struct
    {
        unsigned char Byte;
        char16_t Expected;
    } Cases[] = {
        {0x00, 0x0000},
        {0x7F, 0x007F},
        {0x80, 0x20AC},
        {0x81, 0x0081},
        {0x9F, 0x0178},
        {0xA0, 0x00A0},
        {0xFF, 0x00FF},
    };
    for (const auto& C : Cases) {
        const char Byte = static_cast<char>(C.Byte);
        EXPECT_EQ(TextDecoding::DecodeCp1252(QByteArrayView(&Byte, 1)), QString(QChar(C.Expected))) << int(C.Byte);
    }
}

TEST(TextDecoding, AMarkAloneIsEmptyTextAndAPartOfOneIsText)
{
    const struct
    {
        QByteArray Bytes;
        QString Expected;
    } Cases[] = {
        {QByteArray("\xEF\xBB\xBF"), QString()},
        {QByteArray("\xFF\xFE"), QString()},
        {QByteArray("\xFE\xFF"), QString()},
        {QByteArray("\xEF\xBB"), QStringLiteral(u"\u00EF\u00BB")},
        {QByteArray("\xFF"), QStringLiteral(u"\u00FF")},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(TextDecoding::Decode(C.Bytes), C.Expected) << C.Bytes.toHex().constData();
}

TEST(TextDecoding, TextThatIsNotWellFormedUtf8ReadsAsWindows1252)
{
    const struct
    {
        QByteArray Bytes;
        QString Expected;
    } Cases[] = {
        {QByteArray("plain"), QStringLiteral("plain")},
        {QByteArray("Arr\xC3\xAAt \xF0\x9F\x92\xA4"), QStringLiteral(u"Arr\u00EAt \U0001F4A4")},
        {QByteArray("\xEF\xBB\xBFx"), QStringLiteral(u"\uFEFFx")},
        {QByteArray("Arr\xEAt \x80"), QStringLiteral(u"Arr\u00EAt \u20AC")},
        {QByteArray("\xC3\xA9\xE9"), QStringLiteral(u"\u00C3\u00A9\u00E9")},
        {QByteArray("cut \xC3"), QStringLiteral(u"cut \u00C3")},
        {QByteArray("\xC0\xAF"), QStringLiteral(u"\u00C0\u00AF")},
        {QByteArray("\xED\xA0\x80"), QStringLiteral(u"\u00ED\u00A0\u20AC")},
        {QByteArray("\xF4\x90\x80\x80"), QStringLiteral(u"\u00F4\u0090\u20AC\u20AC")},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(TextDecoding::DecodeUtf8OrCp1252(C.Bytes), C.Expected) << C.Bytes.toHex().constData();
}
