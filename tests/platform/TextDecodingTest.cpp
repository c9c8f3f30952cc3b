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
