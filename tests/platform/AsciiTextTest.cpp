#include "platform/AsciiText.h"

#include <gtest/gtest.h>

// Neighbours of the letter ranges ('@' '[' '`' '{') differ from letters by
// the same 0x20 and must not be taken for them; non-ASCII letters that Unicode
// casing would change (Kelvin sign, long s, dotless i, sharp s, y with
// diaeresis, fullwidth letters) stay as they are.

TEST(AsciiText, SameTextIgnoresTheCaseOfAToZAndNothingElse)
{
    const struct
    {
        QString A;
        QString B;
        bool Same;
    } Cases[] = {
        {QString(), QString(), true},
        {QStringLiteral("Lumidor_20141208"), QStringLiteral("LUMIDOR_20141208"), true},
        {QStringLiteral("explorer.exe"), QStringLiteral("Explorer.EXE"), true},
        {QStringLiteral("azAZ"), QStringLiteral("AZaz"), true},
        {QStringLiteral("a"), QStringLiteral("b"), false},
        {QStringLiteral("job"), QStringLiteral("job "), false},
        {QStringLiteral("ab"), QStringLiteral("a"), false},
        {QStringLiteral("@"), QStringLiteral("`"), false},
        {QStringLiteral("["), QStringLiteral("{"), false},
        {QStringLiteral("é"), QStringLiteral("É"), false},
        {QStringLiteral("é"), QStringLiteral("é"), true},
        {QStringLiteral("\u212A"), QStringLiteral("k"), false},
        {QStringLiteral("\u017F"), QStringLiteral("s"), false},
        {QStringLiteral("\u0131"), QStringLiteral("I"), false},
        {QStringLiteral("\uFF21"), QStringLiteral("\uFF41"), false},
        {QStringLiteral("ß"), QStringLiteral("SS"), false},
        {QStringLiteral("x\U0001F600y"), QStringLiteral("X\U0001F600Y"), true},
    };
    for (const auto& Case : Cases) {
        EXPECT_EQ(AsciiText::SameText(Case.A, Case.B), Case.Same) << qPrintable(Case.A) << " / " << qPrintable(Case.B);
        EXPECT_EQ(AsciiText::SameText(Case.B, Case.A), Case.Same) << qPrintable(Case.B) << " / " << qPrintable(Case.A);
        // UTF-8 bytes of letters such as é and É also differ by 0x20.
        EXPECT_EQ(AsciiText::SameText(QByteArrayView(Case.A.toUtf8()), QByteArrayView(Case.B.toUtf8())), Case.Same)
            << qPrintable(Case.A) << " / " << qPrintable(Case.B);
    }
    EXPECT_FALSE(AsciiText::SameText(QByteArrayView("\xC9"), QByteArrayView("\xE9")));
}

TEST(AsciiText, UpperAndLowerCaseChangeOnlyTheLettersAToZ)
{
    const struct
    {
        QString Text;
        QString Upper;
        QString Lower;
    } Cases[] = {
        {QString(), QString(), QString()},
        {QStringLiteral("lumidor"), QStringLiteral("LUMIDOR"), QStringLiteral("lumidor")},
        {QStringLiteral("Gnome-Shell_2.EXE"), QStringLiteral("GNOME-SHELL_2.EXE"), QStringLiteral("gnome-shell_2.exe")},
        {QStringLiteral("@[`{"), QStringLiteral("@[`{"), QStringLiteral("@[`{")},
        {QStringLiteral("éÉßÿ"), QStringLiteral("éÉßÿ"), QStringLiteral("éÉßÿ")},
        {QStringLiteral("\u212A\u017F\u0131\u0130"), QStringLiteral("\u212A\u017F\u0131\u0130"), QStringLiteral("\u212A\u017F\u0131\u0130")},
        {QStringLiteral("\uFF21\uFF41"), QStringLiteral("\uFF21\uFF41"), QStringLiteral("\uFF21\uFF41")},
        {QStringLiteral("a\U0001F600Z"), QStringLiteral("A\U0001F600Z"), QStringLiteral("a\U0001F600z")},
    };
    for (const auto& Case : Cases) {
        EXPECT_EQ(AsciiText::UpperCase(Case.Text), Case.Upper) << qPrintable(Case.Text);
        EXPECT_EQ(AsciiText::LowerCase(Case.Text), Case.Lower) << qPrintable(Case.Text);
    }
}
