#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "i18n/ExtIniFiles.h"

// The reading rules are TIniSections' and tested with it (tests/platform);
// what is the INI file's own is tested here.

TEST(ExtIniFile, EmptyValueCountsAsAKey)
{
    TExtIniFile Ini;
    Ini.ParseLines({"[S]", "k=", "plain"});
    EXPECT_TRUE(Ini.HasKey("S", "K"));
    EXPECT_FALSE(Ini.HasKey("S", "plain"));
    EXPECT_FALSE(Ini.HasKey("T", "k"));
}

TEST(ExtIniFile, NothingReachesTheFile)
{
    const QByteArray Original("[S]\nk=v\n");
    QTemporaryDir Dir;
    const QString Path = Dir.filePath(QStringLiteral("test.lng"));
    {
        QFile File(Path);
        ASSERT_TRUE(File.open(QIODevice::WriteOnly));
        File.write(Original);
    }
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
