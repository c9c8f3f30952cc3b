#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/Exceptions.h"
#include "platform/IniSections.h"

namespace {

const QString Missing = QStringLiteral("<default>");

QStringList Sections(TIniSections& Ini)
{
    QStringList Out;
    Ini.ListSections(Out);
    return Out;
}

QStringList SectionLines(TIniSections& Ini, const QString& Section)
{
    QStringList Out{QStringLiteral("stale")};
    Ini.GetSectionLines(Section, Out);
    return Out;
}

class IniSectionsTest : public ::testing::Test
{
protected:
    QString WriteFile(const QByteArray& Bytes, const QString& Name = QStringLiteral("test.lng"))
    {
        const QString Path = Dir.filePath(Name);
        QFile File(Path);
        EXPECT_TRUE(File.open(QIODevice::WriteOnly));
        File.write(Bytes);
        return Path;
    }

    QTemporaryDir Dir;
};

} // namespace

TEST(IniSections, ParsesEntriesAsTheLanguageFilesWriteThem)
{
    struct Case
    {
        const char* What;
        QStringList Lines;
        QString Section;
        QString Key;
        QString Expected;
    };
    const Case Cases[] = {
        {"spaces inside the brackets", {"[  S  ]", "k=v"}, "S", "k", "v"},
        {"spaces around the equal sign", {"[S]", "  key   =   value  "}, "S", "key", "value"},
        {"key in other letter case", {"[Sec]", "Key=v"}, "sEC", "kEY", "v"},
        {"tabs and control characters trimmed", {"[S]", "\tk\x01=\x1Fv\t"}, "S", "k", "v"},
        {"quotes kept", {"[S]", "k=\"quoted\""}, "S", "k", "\"quoted\""},
        {"backslash sequences kept", {"[S]", "k=a\\nb\\\\"}, "S", "k", "a\\nb\\\\"},
        {"splits at the first equal sign", {"[S]", "k = a = b"}, "S", "k", "a = b"},
        {"empty value is not the default", {"[S]", "k="}, "S", "k", ""},
        {"line starting with equal sign has the empty name", {"[S]", "=v"}, "S", "", "v"},
        {"semicolon later in a line is text", {"[S]", "k=a;b"}, "S", "k", "a;b"},
        {"hash marks no comment", {"[S]", "#k=v"}, "S", "#k", "v"},
        {"commented key is skipped", {"[S]", "k=1", "; k=2", "  ;k=3"}, "S", "k", "1"},
        {"empty brackets open a nameless section", {"[]", "k=v"}, "", "k", "v"},
        {"last duplicate key wins", {"[S]", "k=1", "K=2", "x=3"}, "S", "k", "2"},
        {"second duplicate section hides the first", {"[S]", "a=1", "[s]", "b=2"}, "S", "a", Missing},
        {"second duplicate section is read", {"[S]", "a=1", "[s]", "a=2"}, "S", "a", "2"},
        {"lines before the first header are dropped", {"k=v", "[S]"}, "S", "k", Missing},
        {"missing section", {"[S]", "k=v"}, "T", "k", Missing},
        {"missing key", {"[S]", "k=v"}, "S", "j", Missing},
        {"line without equal sign is never found", {"[S]", "k"}, "S", "k", Missing},
        {"full Unicode upper-casing", {"[Straße]", "Größe=groß"}, "STRASSE", "GRÖSSE", "groß"},
    };
    for (const Case& C : Cases) {
        TIniSections Ini;
        Ini.ParseLines(C.Lines);
        EXPECT_EQ(Ini.ReadEntry(C.Section, C.Key, Missing), C.Expected) << C.What;
    }
}

TEST(IniSections, HeaderFollowedByACommentIsANamelessLine)
{
    TIniSections Ini;
    Ini.ParseLines({"[S]", "a=1", "[T] ; note", "b=2"});
    EXPECT_EQ(Sections(Ini), QStringList{"S"});
    EXPECT_EQ(SectionLines(Ini, "S"), (QStringList{"a=1", "[T] ; note", "b=2"}));
}

TEST(IniSections, LoneBracketIsANamelessLine)
{
    TIniSections Ini;
    Ini.ParseLines({"[S]", "[", "]"});
    EXPECT_EQ(Sections(Ini), QStringList{"S"});
    EXPECT_EQ(SectionLines(Ini, "S"), (QStringList{"[", "]"}));
}

TEST(IniSections, DuplicatesStayInTheListings)
{
    TIniSections Ini;
    Ini.ParseLines({"[S]", "k=1", "k=2", "[s]", "k=3", "nameless", "=e"});
    EXPECT_EQ(Sections(Ini), (QStringList{"S", "s"}));
    EXPECT_EQ(SectionLines(Ini, "S"), (QStringList{"k=3", "nameless", "=e"}));
    QStringList Keys{"stale"};
    Ini.ListKeys("S", Keys);
    EXPECT_EQ(Keys, (QStringList{"k", "", ""}));
}

TEST(IniSections, ListingsOfAMissingSectionAreEmpty)
{
    TIniSections Ini;
    Ini.ParseLines({"[S]", "k=1"});
    EXPECT_TRUE(SectionLines(Ini, "T").isEmpty());
    QStringList Keys{"stale"};
    Ini.ListKeys("T", Keys);
    EXPECT_TRUE(Keys.isEmpty());
}

TEST(IniSections, ParsingReplacesTheWholeContent)
{
    TIniSections Ini;
    Ini.ParseLines({"[A]", "k=1"});
    Ini.ParseLines({"[B]", "k=2"});
    EXPECT_EQ(Sections(Ini), QStringList{"B"});
    EXPECT_EQ(Ini.ReadEntry("A", "k", Missing), Missing);
    EXPECT_EQ(Ini.ReadEntry("B", "k", Missing), "2");
}

TEST(IniSections, WritesChangeTheMemoryAndLookupsFollow)
{
    TIniSections Ini;
    Ini.ParseLines({"[S]", "a=1", "b=2", "a=3"});
    ASSERT_EQ(Ini.ReadEntry("S", "a", Missing), "3");

    Ini.WriteEntry("s", "A", " new ");
    EXPECT_EQ(SectionLines(Ini, "S"), (QStringList{"a=1", "b=2", "A= new "}));
    EXPECT_EQ(Ini.ReadEntry("S", "a", Missing), " new ");

    Ini.WriteEntry("S", "c", "4");
    Ini.WriteEntry("T", "d", "5");
    EXPECT_EQ(SectionLines(Ini, "S"), (QStringList{"a=1", "b=2", "A= new ", "c=4"}));
    EXPECT_EQ(Sections(Ini), (QStringList{"S", "T"}));
    EXPECT_EQ(Ini.ReadEntry("T", "d", Missing), "5");

    // Removing the last occurrence uncovers the one before it.
    Ini.RemoveKey("S", "a");
    EXPECT_EQ(Ini.ReadEntry("S", "a", Missing), "1");
    Ini.RemoveKey("S", "missing");
    Ini.RemoveKey("missing", "a");
    EXPECT_EQ(SectionLines(Ini, "S"), (QStringList{"a=1", "b=2", "c=4"}));

    Ini.RemoveSection("s");
    Ini.RemoveSection("missing");
    EXPECT_EQ(Sections(Ini), QStringList{"T"});
    EXPECT_EQ(Ini.ReadEntry("S", "b", Missing), Missing);
}

TEST(IniSections, RemovingADuplicateSectionUncoversTheFirst)
{
    TIniSections Ini;
    Ini.ParseLines({"[S]", "a=1", "[S]", "a=2"});
    Ini.RemoveSection("S");
    EXPECT_EQ(Sections(Ini), QStringList{"S"});
    EXPECT_EQ(Ini.ReadEntry("S", "a", Missing), "1");
}

TEST_F(IniSectionsTest, LoadFileDecodesByTheByteOrderMark)
{
    struct Case
    {
        const char* What;
        QByteArray Bytes;
        QString Expected;
    };
    const QString Text = QStringLiteral("Größe €");
    auto Utf16 = [](const QString& S, bool BigEndian) {
        QByteArray Bytes;
        for (QChar C : S) {
            const char Hi = static_cast<char>(C.unicode() >> 8);
            const char Lo = static_cast<char>(C.unicode() & 0xFF);
            Bytes.append(BigEndian ? Hi : Lo).append(BigEndian ? Lo : Hi);
        }
        return Bytes;
    };
    const QString Lines = QStringLiteral("[S]\r\nk=") + Text + "\r\n";
    const Case Cases[] = {
        {"UTF-16 LE", QByteArray("\xFF\xFE") + Utf16(Lines, false), Text},
        {"UTF-16 BE", QByteArray("\xFE\xFF") + Utf16(Lines, true), Text},
        {"UTF-8 with mark", QByteArray("\xEF\xBB\xBF") + Lines.toUtf8(), Text},
        {"Windows-1252", QByteArray("[S]\nk=Gr\xF6\xDF" "e \x80\n"), Text},
        // Without a mark UTF-8 is read as Windows-1252, byte by byte.
        {"UTF-8 without mark", Lines.toUtf8(), QStringLiteral(u"Gr\u00C3\u00B6\u00C3\u0178e \u00E2\u201A\u00AC")},
        {"undefined Windows-1252 bytes", QByteArray("[S]\nk=\x81\x8D\x8F\x90\x9D"), QString() + QChar(0x81) + QChar(0x8D) + QChar(0x8F) + QChar(0x90) + QChar(0x9D)},
    };
    for (const Case& C : Cases) {
        TIniSections Ini;
        Ini.LoadFile(WriteFile(C.Bytes));
        EXPECT_EQ(Ini.ReadEntry("S", "k", Missing), C.Expected) << C.What;
        EXPECT_EQ(Sections(Ini), QStringList{"S"}) << C.What;
    }
}

TEST_F(IniSectionsTest, LoadFileSplitsAtEveryLineEndAndStopsAtNul)
{
    TIniSections Ini;
    const char Raw[] = "[S]\r\na=1\rb=2\nc=3\r\n\r\nd=4\0e=5\n[T]\nf=6";
    Ini.LoadFile(WriteFile(QByteArray(Raw, sizeof(Raw) - 1)));
    EXPECT_EQ(SectionLines(Ini, "S"), (QStringList{"a=1", "b=2", "c=3", "d=4"}));
    EXPECT_EQ(Sections(Ini), QStringList{"S"});

    Ini.LoadFile(WriteFile("[S]\nlast=no terminator"));
    EXPECT_EQ(Ini.ReadEntry("S", "last", Missing), "no terminator");
}

TEST_F(IniSectionsTest, FailedLoadKeepsTheContentAndNamesTheFile)
{
    TIniSections Ini;
    Ini.LoadFile(WriteFile("[S]\nk=kept"));
    for (const QString& Path : {Dir.filePath("missing.lng"), Dir.path()}) {
        try {
            Ini.LoadFile(Path);
            ADD_FAILURE() << "no error for " << Path.toStdString();
        } catch (const EFOpenError& Error) {
            EXPECT_TRUE(Error.Message().startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(Path)))
                << Error.Message().toStdString();
            EXPECT_GT(Error.Message().size(), QStringLiteral("Cannot open file \"%1\". ").arg(Path).size());
        }
        EXPECT_EQ(Ini.ReadEntry("S", "k", Missing), "kept");
    }
}
