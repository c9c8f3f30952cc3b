#include "platform/AppFrame_New.h"

#include <gtest/gtest.h>

TEST(SystemDirSeam, TestsPointGetSystemDirElsewhereAndRestoreIt)
{
    const QString Default = GetSystemDir();
    SetSystemDirForTesting(QStringLiteral("/tmp/lumidor-tools"));
    EXPECT_EQ(SystemPath(GetSystemDir(), QStringLiteral("\\Shutdown.exe")), "/tmp/lumidor-tools/Shutdown.exe");
    SetSystemDirForTesting(QString());
    EXPECT_EQ(GetSystemDir(), Default);
    EXPECT_FALSE(Default.isEmpty());
}
