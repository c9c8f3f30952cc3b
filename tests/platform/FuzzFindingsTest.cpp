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

QStringList KeysOf(const QList<TProfileEntry>& Entries)
{
    QStringList Out;
    for (const TProfileEntry& E : Entries)
        Out += E.Key;
    return Out;
}

// A key whose first line has no "=": GetEntries gave the value of a later
// line, where GetString gives the default.
TEST(FuzzFindingsTest, GetEntriesGivesWhatGetStringGivesForEveryKey)
{
    QTemporaryDir Dir;
    const QString Crafted = Dir.filePath(QStringLiteral("crafted.ini"));
    QFile F(Crafted);
    ASSERT_TRUE(F.open(QIODevice::WriteOnly));
    F.write("[S]\r\nk\r\nK=dup\r\nother=1\r\n");
    F.close();

    for (const QString& File : {CopyOfFinding(Dir, "profile-key-first-without-equals.ini"), Crafted}) {
        const QStringList Sections = GetSections(File);
        ASSERT_FALSE(Sections.isEmpty()) << qPrintable(File);
        for (const QString& Section : Sections)
            for (const TProfileEntry& Entry : GetEntries(File, Section))
                EXPECT_EQ(GetString(File, Section, Entry.Key), Entry.Value) << qPrintable(File) << " [" << qPrintable(Section) << "] " << qPrintable(Entry.Key);
    }
    const QList<TProfileEntry> Expected{{QStringLiteral("K"), QString()}, {QStringLiteral("other"), QStringLiteral("1")}};
    EXPECT_EQ(GetEntries(Crafted, QStringLiteral("S")), Expected);
}

// A key starting with U+FEFF, written at the start of its line, read back as
// a section header: the line decoder dropped the character as a byte-order mark.
TEST(FuzzFindingsTest, KeyStartingWithAZeroWidthNoBreakSpaceSurvivesARewrite)
{
    QTemporaryDir Dir;
    const QString File = CopyOfFinding(Dir, "profile-line-starting-with-bom.ini");
    const QString Section = QStringLiteral("Spaced Name");
    const QList<TProfileEntry> Entries = GetEntries(File, Section);
    ASSERT_EQ(KeysOf(Entries), QStringList({QStringLiteral("\uFEFF[Main]JOB1")}));
    ASSERT_TRUE(RewriteSection(File, Section, Entries));
    EXPECT_EQ(GetEntries(File, Section), Entries);
    EXPECT_EQ(GetSections(File), QStringList({Section}));

    // The file's own mark at its start is still no part of the first line.
    QFile F(File);
    ASSERT_TRUE(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
    F.write("\xEF\xBB\xBF[Main]\nLanguage=German\n");
    F.close();
    EXPECT_EQ(GetString(File, QStringLiteral("Main"), QStringLiteral("Language")), QStringLiteral("German"));
}

} // namespace
