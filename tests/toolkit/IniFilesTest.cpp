#include "toolkit/IniFiles.h"
#include "support/TestFiles.h"

#include "platform/Exceptions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace {

class IniFilesTest : public ::testing::Test
{
protected:
    QString Path() const { return Dir.filePath(QStringLiteral("settings.ini")); }

    void Put(const QByteArray& Bytes) { ASSERT_TRUE(TestFiles::Write(Path(), Bytes)); }

    QTemporaryDir Dir;
};

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
