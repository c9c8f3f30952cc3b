#include "toolkit/IniFiles.h"
#include "support/TestFiles.h"

#include "platform/Exceptions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

class IniFilesTest : public ::testing::Test
{
protected:
    QString Path() const { return Dir.filePath(QStringLiteral("settings.ini")); }

    void Put(const QByteArray& Bytes) { ASSERT_TRUE(TestFiles::Write(Path(), Bytes)); }

    QTemporaryDir Dir;
};

TEST_F(IniFilesTest, TypedValuesRoundTrip)
{
    TIniFile Ini(Path());
    TDateTime Moment = 0;
    ASSERT_TRUE(DateTime::TryEncode({2025, 1, 2, 15, 4, 5, 0}, Moment));
    Ini.WriteInteger(QStringLiteral("s"), QStringLiteral("int"), -42);
    Ini.WriteBool(QStringLiteral("s"), QStringLiteral("bool"), true);
    Ini.WriteBinaryStream(QStringLiteral("s"), QStringLiteral("bin"), QByteArray("\x00\xFFz", 3));
    Ini.WriteFloat(QStringLiteral("s"), QStringLiteral("float"), 0.1);
    Ini.WriteDateTime(QStringLiteral("s"), QStringLiteral("datetime"), Moment);
    Ini.WriteDate(QStringLiteral("s"), QStringLiteral("date"), Moment);
    Ini.WriteTime(QStringLiteral("s"), QStringLiteral("time"), Moment);

    EXPECT_EQ(Ini.ReadInteger(QStringLiteral("s"), QStringLiteral("int"), 0), -42);
    EXPECT_TRUE(Ini.ReadBool(QStringLiteral("s"), QStringLiteral("bool"), false));
    EXPECT_EQ(Ini.ReadBinaryStream(QStringLiteral("s"), QStringLiteral("bin")), QByteArray("\x00\xFFz", 3));
    EXPECT_EQ(Ini.ReadFloat(QStringLiteral("s"), QStringLiteral("float"), 0), 0.1);
    EXPECT_DOUBLE_EQ(Ini.ReadDateTime(QStringLiteral("s"), QStringLiteral("datetime"), 0), Moment);
    EXPECT_DOUBLE_EQ(Ini.ReadDate(QStringLiteral("s"), QStringLiteral("date"), 0), std::floor(Moment));
    EXPECT_NEAR(Ini.ReadTime(QStringLiteral("s"), QStringLiteral("time"), 0), Moment - std::floor(Moment), 1e-9);
    EXPECT_EQ(Ini.ReadEntry(QStringLiteral("s"), QStringLiteral("datetime"), QString()),
              QStringLiteral("2025-01-02 15:04:05"));
}

TEST_F(IniFilesTest, UnreadableTypedValuesGiveTheDefault)
{
    Put("[s]\r\nint=12x\r\nhex=$1F\r\nhex2=0xFFFFFFFF\r\nbig=3000000000\r\nbool=yes\r\nbin=ABC\r\n"
        "float=1,5\r\ndate=2025-02-30\r\ntime=24:00\r\n");
    TIniFile Ini(Path());
    EXPECT_EQ(Ini.ReadInteger(QStringLiteral("s"), QStringLiteral("int"), 7), 7);
    EXPECT_EQ(Ini.ReadInteger(QStringLiteral("s"), QStringLiteral("hex"), 7), 31);
    EXPECT_EQ(Ini.ReadInteger(QStringLiteral("s"), QStringLiteral("hex2"), 7), -1);
    EXPECT_EQ(Ini.ReadInteger(QStringLiteral("s"), QStringLiteral("big"), 7), 7);
    EXPECT_EQ(Ini.ReadInteger(QStringLiteral("s"), QStringLiteral("missing"), 7), 7);
    EXPECT_TRUE(Ini.ReadBool(QStringLiteral("s"), QStringLiteral("bool"), true));
    EXPECT_FALSE(Ini.ReadBool(QStringLiteral("s"), QStringLiteral("bool"), false));
    EXPECT_TRUE(Ini.ReadBinaryStream(QStringLiteral("s"), QStringLiteral("bin")).isEmpty());
    EXPECT_EQ(Ini.ReadFloat(QStringLiteral("s"), QStringLiteral("float"), 2.5), 2.5);
    EXPECT_EQ(Ini.ReadDate(QStringLiteral("s"), QStringLiteral("date"), 9.0), 9.0);
    EXPECT_EQ(Ini.ReadTime(QStringLiteral("s"), QStringLiteral("time"), 0.5), 0.5);
}

TEST_F(IniFilesTest, ListingOperationsFollowTheFile)
{
    Put("[Lang]\r\nName=1\r\nflag\r\n[Lang.Sub]\r\nx=1\r\n[Other]\r\n[lang.two]\r\n");
    TIniFile Ini(Path());
    QStringList Out{QStringLiteral("stale")};
    Ini.ListSections(Out);
    EXPECT_EQ(Out, QStringList({"Lang", "Lang.Sub", "Other", "lang.two"}));
    Ini.ListSubSections(QStringLiteral("LANG."), Out);
    EXPECT_EQ(Out, QStringList({"Lang.Sub", "lang.two"}));
    Ini.ListKeys(QStringLiteral("lang"), Out);
    EXPECT_EQ(Out, QStringList({"Name"}));
    Ini.GetSectionLines(QStringLiteral("LANG"), Out);
    EXPECT_EQ(Out, QStringList({"Name=1"}));
    EXPECT_TRUE(Ini.HasKey(QStringLiteral("Lang"), QStringLiteral("NAME")));
    EXPECT_FALSE(Ini.HasKey(QStringLiteral("Lang"), QStringLiteral("flag")));
    Ini.RemoveKey(QStringLiteral("Lang"), QStringLiteral("name"));
    Ini.RemoveSection(QStringLiteral("other"));
    Ini.Commit();
    QFile File(Path());
    ASSERT_TRUE(File.open(QIODevice::ReadOnly));
    EXPECT_EQ(File.readAll(), QByteArray("[Lang]\r\nflag\r\n[Lang.Sub]\r\nx=1\r\n[lang.two]\r\n"));
}

TEST_F(IniFilesTest, RefusedWritesRaiseUnableToWrite)
{
    const QString Missing = Dir.filePath(QStringLiteral("no/such/folder.ini"));
    TIniFile Ini(Missing);
    const QString Expected = QStringLiteral("Unable to write to ") + Missing;
    const std::function<void()> Writes[] = {
        [&] { Ini.WriteEntry(QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("v")); },
        [&] { Ini.WriteInteger(QStringLiteral("s"), QStringLiteral("k"), 1); },
        [&] { Ini.RewriteSection(QStringLiteral("s"), {{QStringLiteral("k"), QStringLiteral("v")}}); },
    };
    for (const auto& Write : Writes) {
        try {
            Write();
            ADD_FAILURE() << "no error";
        } catch (const EIniFileException& E) {
            EXPECT_EQ(E.Message(), Expected);
        }
    }
    // Removing what is not there needs no write and so cannot fail.
    EXPECT_NO_THROW(Ini.RemoveSection(QStringLiteral("s")));
    EXPECT_NO_THROW(Ini.Commit());
}

} // namespace
