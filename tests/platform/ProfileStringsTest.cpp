#include "platform/ProfileStrings.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>

using namespace ProfileStrings;

namespace {

class ProfileStringsTest : public ::testing::Test
{
protected:
    QString Path() const { return Dir.filePath(QStringLiteral("test.ini")); }

    void Put(const QByteArray& Bytes) { ASSERT_TRUE(TestFiles::Write(Path(), Bytes)); }
    QByteArray Bytes() const { return TestFiles::Read(Path()); }

    QTemporaryDir Dir;
};

struct TReadCase
{
    const char* File;
    const char* Section;
    const char* Key;
    const char* Default;
    const char* Expected;
};

TEST_F(ProfileStringsTest, ReadsValuesWithThePrivateProfileRules)
{
    const TReadCase Cases[] = {
        {"[s]\r\nk=v\r\n", "s", "k", "d", "v"},
        {"[s]\r\n  k  =   v w  \t\r\n", "s", "k", "d", "v w"},
        {"[ Section1 ]\r\nKey=v\r\n", "  SECTION1 ", " key ", "d", "v"},
        {"[s] trailing text\r\nk=v\r\n", "s", "k", "d", "v"},
        {"[a]b]\r\nk=v\r\n", "a]b", "k", "d", "v"},
        {"[s]\r\n[nobracket\r\n", "s", "[nobracket", "d", "d"},
        {"[s]\r\n[k=v\r\n", "s", "[k", "d", "v"},
        {"[s]\r\nk\r\n", "s", "k", "dflt", "dflt"},
        {"[s]\r\nk=\r\n", "s", "k", "dflt", ""},
        {"[s]\r\nk=a=b,c\r\n", "s", "k", "", "a=b,c"},
        {"[s]\r\n;k=comment\r\n", "s", ";k", "d", "d"},
        {"[s]\r\n#k=hash\r\n", "s", "#k", "d", "hash"},
        {"[s]\r\nk='q'\r\n", "s", "k", "", "q"},
        {"[s]\r\nk=\"q\"\r\n", "s", "k", "", "q"},
        {"[s]\r\nk=\"q'\r\n", "s", "k", "", "\"q'"},
        {"[s]\r\nk=\"\"\r\n", "s", "k", "x", ""},
        {"[s]\r\nk=\"\r\n", "s", "k", "", "\""},
        {"[s]\r\nk=\"\"q\"\"\r\n", "s", "k", "", "\"q\""},
        {"[s]\rk=cr only\r[t]\rk=t\r", "s", "k", "", "cr only"},
        {"[s]\nk=lf\n", "s", "k", "", "lf"},
        {"[s]\r\nk=first\r\n[s]\r\nk=second\r\nonly=second\r\n", "s", "only", "d", "d"},
        {"[s]\r\nk=first\r\nK=second\r\n", "s", "k", "", "first"},
        {"top=level\r\n[s]\r\n", "", "top", "d", "level"},
        {"", "s", "k", "'quoted'  ", "quoted"},
        {"", "s", "k", "  lead and trail  ", "  lead and trail"},
        {"[s]\r\nk=v\r\n", "t", "k", "", ""},
        {"\xEF\xBB\xBF[s]\r\nk=bom\r\n", "s", "k", "", "bom"},
        {"[s]\r\nk=\x1A v \x0B\r\n", "s", "k", "", "v"},
        // Text that is not UTF-8 came from a tool that wrote the ANSI code page.
        {"[s]\r\nk=Arr\xEAt \x80\r\n", "s", "k", "", "Arr\xC3\xAAt \xE2\x82\xAC"},
        {"[s]\r\nk=\"\xE9t\xE9\"\r\n", "s", "k", "", "\xC3\xA9t\xC3\xA9"},
        {"[Arr\xEAt]\r\nK\xE9=v\r\n", "arr\xC3\xAAt", "K\xC3\xA9", "", "v"},
        {"[s]\r\nk=\xC3\xA9\xE9\r\n", "s", "k", "", "\xC3\x83\xC2\xA9\xC3\xA9"},
        {"[s]\r\nk=\xC3\xA9\r\n", "s", "k", "", "\xC3\xA9"},
        {"[s]\r\nk=\xF0\x9F\x92\r\n", "s", "k", "", "\xC3\xB0\xC5\xB8\xE2\x80\x99"},
    };
    for (const TReadCase& Case : Cases) {
        Put(Case.File);
        EXPECT_EQ(GetString(Path(), QString::fromUtf8(Case.Section), QString::fromUtf8(Case.Key),
                            QString::fromUtf8(Case.Default)),
                  QString::fromUtf8(Case.Expected))
            << "file: " << Case.File << " key: " << Case.Key;
    }
}

TEST_F(ProfileStringsTest, MissingFileReadsDefaultAndListsNothing)
{
    EXPECT_EQ(GetString(Path(), QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_EQ(GetString(Path(), QStringLiteral("s"), QStringLiteral("k")), QString());
    EXPECT_TRUE(GetKeys(Path(), QStringLiteral("s")).isEmpty());
    EXPECT_TRUE(GetSections(Path()).isEmpty());
    EXPECT_FALSE(QFile::exists(Path()));
}

TEST_F(ProfileStringsTest, ValueIsCutAt2047CharactersWithoutSplittingASurrogatePair)
{
    const QString Exact(2047, QLatin1Char('x'));
    const QString Over(2048, QLatin1Char('y'));
    const QString Emoji = QString(2046, QLatin1Char('z')) + QString::fromUtf8("\xF0\x9F\x98\x80");
    Put("[s]\r\nexact=" + Exact.toUtf8() + "\r\nover=" + Over.toUtf8() + "\r\nquoted=\"" + Over.toUtf8()
        + "\"\r\nemoji=" + Emoji.toUtf8() + "\r\n");
    EXPECT_EQ(GetString(Path(), QStringLiteral("s"), QStringLiteral("exact")), Exact);
    EXPECT_EQ(GetString(Path(), QStringLiteral("s"), QStringLiteral("over")), Over.left(2047));
    // The quotes go before the limit applies.
    EXPECT_EQ(GetString(Path(), QStringLiteral("s"), QStringLiteral("quoted")), Over.left(2047));
    EXPECT_EQ(GetString(Path(), QStringLiteral("s"), QStringLiteral("emoji")), Emoji.left(2046));
}

TEST_F(ProfileStringsTest, ListsKeysAndSectionsWithDuplicates)
{
    Put("; head\r\n[A]\r\nk1=1\r\nnovalue\r\n;c=1\r\n\r\nk2=2\r\nK1=3\r\n[b]\r\nx=1\r\n[ a ]\r\nother=1\r\n");
    EXPECT_EQ(GetKeys(Path(), QStringLiteral("a")), QStringList({"k1", "k2", "K1"}));
    EXPECT_EQ(GetSections(Path()), QStringList({"A", "b", "a"}));
}

// Reading by position sees every key line with its own value and the bytes
// of that value.
TEST_F(ProfileStringsTest, LinesKeepTheirOwnValuesAndBytes)
{
    Put("; head\r\n[A]\r\nk1=1\r\nnovalue\r\n;c=1\r\n\r\nk2= 'N,Arr\xEAt' \r\nK1=3\r\n[b]\r\nx=1\r\n[ a ]\r\nother=1\r\n");
    const QList<TProfileLine> Expected = {
        {"k1", "1", "1"},
        {"k2", QString::fromUtf8("N,Arr\xC3\xAAt"), "N,Arr\xEAt"},
        {"K1", "3", "3"},
    };
    EXPECT_EQ(GetLines(Path(), QStringLiteral("a")), Expected);
    EXPECT_TRUE(GetLines(Path(), QStringLiteral("missing")).isEmpty());

}

// A value cut at the buffer's limit keeps the bytes of what is left of it.
TEST_F(ProfileStringsTest, LineCutAtTheLimitKeepsTheBytesOfItsFirst2047Characters)
{
    const QByteArray Cp1252 = QByteArray(2046, 'x') + "\xEA\xEA";
    const QByteArray Utf8 = QByteArray(2046, 'y') + "\xC3\xAA\xC3\xAA";
    const QByteArray Pair = QByteArray(2046, 'z') + "\xF0\x9F\x98\x80";
    Put("[s]\r\na=" + Cp1252 + "\r\nb=" + Utf8 + "\r\nc=" + Pair + "\r\n");
    const QList<TProfileLine> Lines = GetLines(Path(), QStringLiteral("s"));
    ASSERT_EQ(Lines.size(), 3);
    EXPECT_EQ(Lines[0].ValueBytes, Cp1252.left(2047));
    EXPECT_EQ(Lines[1].ValueBytes, Utf8.left(2048));
    EXPECT_EQ(Lines[2].ValueBytes, Pair.left(2046));
    for (const TProfileLine& Line : Lines)
        EXPECT_EQ(Line.Value, GetString(Path(), QStringLiteral("s"), Line.Key)) << qPrintable(Line.Key);
}

struct TWriteCase
{
    const char* Name;
    QByteArray Before;
    std::function<bool(const QString&)> Change;
    QByteArray After;
};

TEST_F(ProfileStringsTest, WritesChangeOnlyTheLinesTheyTouch)
{
    const auto Write = [](const char* S, const char* K, const char* V) {
        return [=](const QString& F) { return WriteString(F, S, K, QString::fromUtf8(V)); };
    };
    const TWriteCase Cases[] = {
        {"new file", "", Write("S", "k", "v"), "[S]\r\nk=v\r\n"},
        {"new section at the end, no blank line", "; c\r\n[a]\r\nx=1\r\n", Write("S", "k", "v"),
         "; c\r\n[a]\r\nx=1\r\n[S]\r\nk=v\r\n"},
        {"unterminated last line", "[a]\r\nx=1", Write("S", "k", "v"), "[a]\r\nx=1\r\n[S]\r\nk=v\r\n"},
        {"new key after the section's last line", "[a]\r\nx=1\r\n; keep\r\n\r\n[b]\r\ny=2\r\n", Write("A", "k", "v"),
         "[a]\r\nx=1\r\n; keep\r\nk=v\r\n\r\n[b]\r\ny=2\r\n"},
        {"new key in an empty section", "[a]\r\n[b]\r\n", Write("a", "k", "v"), "[a]\r\nk=v\r\n[b]\r\n"},
        {"replace keeps the name as in the file", "[a]\r\n  Key = old \r\nz=1\r\n", Write("a", "KEY", "new"),
         "[a]\r\nKey=new\r\nz=1\r\n"},
        {"replace the first of two", "[a]\r\nk=1\r\nk=2\r\n", Write("a", "k", "3"), "[a]\r\nk=3\r\nk=2\r\n"},
        {"leading blanks dropped, quotes kept", "", Write("S", " k ", "  \"q\" "), "[S]\r\nk=\"q\" \r\n"},
        {"empty value", "", Write("S", "k", ""), "[S]\r\nk=\r\n"},
        {"line ends follow the file", "[a]\nx=1\n", Write("a", "k", "v"), "[a]\nx=1\nk=v\n"},
        {"byte-order mark kept", "\xEF\xBB\xBF[a]\r\n", Write("a", "k", "v"), "\xEF\xBB\xBF[a]\r\nk=v\r\n"},
        {"bytes of untouched lines kept", "[a]\r\nbad=\xFF\xFE\r\n", Write("a", "k", "v"),
         "[a]\r\nbad=\xFF\xFE\r\nk=v\r\n"},
        {"delete key keeps the header", "[a]\r\nk=1\r\n[b]\r\n",
         [](const QString& F) { return DeleteKey(F, "A", "K"); }, "[a]\r\n[b]\r\n"},
        {"delete missing key", "[a]\r\nk=1\r\n", [](const QString& F) { return DeleteKey(F, "a", "x"); },
         "[a]\r\nk=1\r\n"},
        {"delete section with its comments and blanks", "; top\r\n[a]\r\nk=1\r\n;c\r\n\r\n[b]\r\nx=2\r\n",
         [](const QString& F) { return DeleteSection(F, " A "); }, "; top\r\n[b]\r\nx=2\r\n"},
        {"delete only the first of two sections", "[a]\r\nk=1\r\n[a]\r\nk=2\r\n",
         [](const QString& F) { return DeleteSection(F, "a"); }, "[a]\r\nk=2\r\n"},
        {"delete missing section", "[a]\r\n", [](const QString& F) { return DeleteSection(F, "b"); }, "[a]\r\n"},
        {"a replaced value is UTF-8, its name too", "[a]\r\nK\xE9=\xEA\r\nz=\xEA\r\n", Write("a", "k\xC3\xA9", "\xC3\xAA!"),
         "[a]\r\nK\xC3\xA9=\xC3\xAA!\r\nz=\xEA\r\n"},
        {"a value that reads the same is not rewritten", "[a]\r\nk=\xEA\r\n", Write("a", "k", "\xC3\xAA"),
         "[a]\r\nk=\xEA\r\n"},
    };
    for (const TWriteCase& Case : Cases) {
        QFile::remove(Path());
        if (!Case.Before.isEmpty())
            Put(Case.Before);
        EXPECT_TRUE(Case.Change(Path())) << Case.Name;
        EXPECT_EQ(Bytes(), Case.After) << Case.Name;
    }
}

TEST_F(ProfileStringsTest, UnchangedValueLeavesTheFileAlone)
{
    Put("[a]\r\nk = v\r\n");
    struct stat Before;
    ASSERT_EQ(::stat(QFile::encodeName(Path()).constData(), &Before), 0);
    EXPECT_TRUE(WriteString(Path(), QStringLiteral("a"), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_TRUE(DeleteKey(Path(), QStringLiteral("a"), QStringLiteral("missing")));
    struct stat After;
    ASSERT_EQ(::stat(QFile::encodeName(Path()).constData(), &After), 0);
    EXPECT_EQ(Before.st_ino, After.st_ino);
    EXPECT_EQ(Bytes(), QByteArray("[a]\r\nk = v\r\n"));
}

TEST_F(ProfileStringsTest, TextInAnyScriptRoundTripsAsUtf8)
{
    const QString Labels[] = {
        QString::fromUtf8("\xE5\x85\xB3\xE6\x9C\xBA\xE4\xBA\x8E 2025-01-02"),
        QString::fromUtf8("\xD8\xA5\xD9\x8A\xD9\x82\xD8\xA7\xD9\x81 \xD8\xA7\xD9\x84\xD8\xAA\xD8\xB4\xD8\xBA\xD9\x8A\xD9\x84"),
        QString::fromUtf8("\xF0\x9F\x92\xA4 sleep"),
    };
    int N = 0;
    for (const QString& Label : Labels)
        ASSERT_TRUE(WriteString(Path(), Label, QStringLiteral("k%1").arg(++N), Label));
    N = 0;
    for (const QString& Label : Labels)
        EXPECT_EQ(GetString(Path(), Label, QStringLiteral("k%1").arg(++N)), Label);
    EXPECT_TRUE(Bytes().contains(Labels[2].toUtf8()));
}

TEST_F(ProfileStringsTest, RefusesLineBreaksAndFilesItCannotRead)
{
    Put("[a]\r\n");
    EXPECT_FALSE(WriteString(Path(), QStringLiteral("a"), QStringLiteral("k"), QStringLiteral("x\r\n[evil]")));
    EXPECT_FALSE(WriteString(Path(), QStringLiteral("a\nb"), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_EQ(Bytes(), QByteArray("[a]\r\n"));
    // A path that cannot be read must never be replaced by what little we know.
    const QString Folder = Dir.filePath(QStringLiteral("folder.ini"));
    ASSERT_TRUE(QDir().mkdir(Folder));
    EXPECT_FALSE(WriteString(Folder, QStringLiteral("a"), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_TRUE(QFileInfo(Folder).isDir());
}

// Reads of an unchanged file are served from memory; every kind of change
// made by another program must still be seen at once.
TEST_F(ProfileStringsTest, ReadsSeeChangesMadeBehindTheirBack)
{
    const auto Value = [this] { return GetString(Path(), QStringLiteral("s"), QStringLiteral("k")); };
    const auto Entries = [this] { return GetLines(Path(), QStringLiteral("S")); };
    const auto Settle = [] { QThread::msleep(150); };
    Put("[s]\nk=one\n");
    Settle();
    EXPECT_EQ(Value(), QStringLiteral("one"));
    EXPECT_EQ(Entries().size(), 1);

    Put("[s]\nk=two\n"); // in place, same size
    EXPECT_EQ(Value(), QStringLiteral("two"));
    Settle();
    EXPECT_EQ(Entries().value(0).Value, QStringLiteral("two"));

    const QString Other = Dir.filePath(QStringLiteral("other.ini"));
    QFile New(Other);
    ASSERT_TRUE(New.open(QIODevice::WriteOnly));
    New.write("[s]\nk=six\nj=2\n");
    New.close();
    ASSERT_EQ(::rename(QFile::encodeName(Other).constData(), QFile::encodeName(Path()).constData()), 0);
    EXPECT_EQ(Value(), QStringLiteral("six"));
    EXPECT_EQ(Entries().size(), 2);

    Settle();
    EXPECT_EQ(Entries().size(), 2);
    ASSERT_TRUE(WriteString(Path(), QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("ten")));
    EXPECT_EQ(Value(), QStringLiteral("ten"));
    EXPECT_EQ(Entries().value(0).Value, QStringLiteral("ten"));

    Settle();
    EXPECT_EQ(Value(), QStringLiteral("ten"));
    ASSERT_TRUE(QFile::remove(Path()));
    EXPECT_EQ(Value(), QString());
    EXPECT_TRUE(Entries().isEmpty());
}

} // namespace
