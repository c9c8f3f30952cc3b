#include "platform/AppFrame_New.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Where ExePath points in the build tree and in an installed prefix.
TEST(AppFrameLayoutTest, ExePathIsWhereTheLanguageFolderLies)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString r = root.path();
    struct TCase
    {
        QStringList Folders; // made below the root
        QString Module;
        QString Expected;
    } cases[] = {
        // Build tree: beside the executable.
        {{"build/bin/Toolbox_Language"}, r + "/build/bin/lumidor", r + "/build/bin/"},
        // Installed: <prefix>/share/lumidor, also below a DESTDIR staging folder.
        {{"usr/bin", "usr/share/lumidor/Toolbox_Language"}, r + "/usr/bin/lumidor", r + "/usr/share/lumidor/"},
        {{"stage/opt/x/bin", "stage/opt/x/share/lumidor/Toolbox_Language"}, r + "/stage/opt/x/bin/lumidor",
         r + "/stage/opt/x/share/lumidor/"},
        // A folder beside the executable wins over the installed one.
        {{"both/bin/Toolbox_Language", "both/share/lumidor/Toolbox_Language"}, r + "/both/bin/lumidor", r + "/both/bin/"},
        // Neither: the executable's folder, where the scan finds no language.
        {{"none/bin", "none/share/lumidor"}, r + "/none/bin/lumidor", r + "/none/bin/"},
        // A plain file of that name is no language folder.
        {{"file/bin", "file/share/lumidor"}, r + "/file/bin/lumidor", r + "/file/bin/"},
        // The shutdown tool in libexec/lumidor finds the folder of the programs in bin.
        {{"tb/bin/Toolbox_Language", "tb/libexec/lumidor"}, r + "/tb/libexec/lumidor/Shutdown.exe", r + "/tb/bin/"},
        {{"ti/bin", "ti/libexec/lumidor", "ti/share/lumidor/Toolbox_Language"}, r + "/ti/libexec/lumidor/Shutdown.exe",
         r + "/ti/share/lumidor/"},
        {{}, QString(), QString()},
    };
    QFile plain(r + "/file/share/lumidor/Toolbox_Language");
    for (const TCase& c : cases) {
        for (const QString& folder : c.Folders)
            ASSERT_TRUE(QDir(r).mkpath(folder));
        if (c.Module.startsWith(r + "/file/")) {
            ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
            plain.close();
        }
        EXPECT_EQ(ExePathFor(c.Module), c.Expected) << c.Module.toStdString();
    }
}

TEST(AppFrameLayoutTest, ExecutableInTheRootFolderGetsTheRoot)
{
    // Nothing named Toolbox_Language lies in / or /share/lumidor on a real system.
    EXPECT_EQ(ExePathFor(QStringLiteral("/lumidor")), QStringLiteral("/"));
}
