// Inputs with which the fuzz targets (fuzz/) once found a fault, kept in
// tests/data/fuzz/regressions/, each checked for the property it broke.
#include "platform/ProfileStrings.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>


using namespace ProfileStrings;

namespace {

QString CopyOfFinding(const QTemporaryDir& Dir, const char* Name)
{
    const QString Copy = Dir.filePath(QLatin1String(Name));
    QFile::copy(QStringLiteral(LUMIDOR_TEST_DATA "/fuzz/regressions/") + QLatin1String(Name), Copy);
    return Copy;
}

QStringList KeysOf(const QList<TProfileLine>& Lines)
{
    QStringList Out;
    for (const TProfileLine& L : Lines)
        Out += L.Key;
    return Out;
}

// A key starting with U+FEFF, written at the start of its line, read back as
// a section header: the line decoder dropped the character as a byte-order mark.
TEST(FuzzFindingsTest, KeyStartingWithAZeroWidthNoBreakSpaceSurvivesARewrite)
{
    QTemporaryDir Dir;
    const QString File = CopyOfFinding(Dir, "profile-line-starting-with-bom.ini");
    const QString Section = QStringLiteral("Spaced Name");
    const QList<TProfileLine> Lines = GetLines(File, Section);
    ASSERT_EQ(KeysOf(Lines), QStringList({QStringLiteral("\uFEFF[Main]JOB1")}));
    ASSERT_TRUE(DeleteSection(File, Section));
    for (const TProfileLine& Line : Lines)
        ASSERT_TRUE(WriteString(File, Section, Line.Key, Line.Value));
    EXPECT_EQ(GetLines(File, Section), Lines);
    EXPECT_EQ(GetSections(File), QStringList({Section}));

    // The file's own mark at its start is still no part of the first line.
    QFile F(File);
    ASSERT_TRUE(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
    F.write("\xEF\xBB\xBF[Main]\nLanguage=German\n");
    F.close();
    EXPECT_EQ(GetString(File, QStringLiteral("Main"), QStringLiteral("Language")), QStringLiteral("German"));
}

} // namespace
