#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "i18n/ExtIniFiles.h"

// The reading rules are TIniSections' and tested with it (tests/platform);
// what is the INI file's own is tested here.

namespace {

class ExtIniFileTest : public ::testing::Test
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

TEST(ExtIniFile, EmptyValueCountsAsAKey)
{
    TExtIniFile Ini;
    Ini.ParseLines({"[S]", "k=", "plain"});
    EXPECT_TRUE(Ini.HasKey("S", "K"));
    EXPECT_FALSE(Ini.HasKey("S", "plain"));
    EXPECT_FALSE(Ini.HasKey("T", "k"));
}

TEST_F(ExtIniFileTest, NothingReachesTheFile)
{
    const QByteArray Original("[S]\nk=v\n");
    const QString Path = WriteFile(Original);
    {
        TExtIniFile Ini;
        Ini.LoadFile(Path);
        Ini.WriteEntry("S", "k", "changed");
        Ini.WriteEntry("T", "new", "1");
        Ini.RemoveSection("S");
        Ini.Commit();
        EXPECT_TRUE(Ini.FileName().isEmpty());
    }
    QFile File(Path);
    ASSERT_TRUE(File.open(QIODevice::ReadOnly));
    EXPECT_EQ(File.readAll(), Original);
}
