#include "platform/AppFrame_New.h"

#include "platform/UserFolders.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

#include <vector>

namespace {

// The install layout (GNUInstallDirs' defaults, as packaging/ installs them).
constexpr QLatin1StringView LanguageFolderName("Toolbox_Language");
constexpr QLatin1StringView InstalledDataFolder("../share/lumidor");
// The helper programs' folder, GetSystemDir, relative to the programs' own.
constexpr QLatin1StringView HelperFolder("libexec/lumidor");

QString& SystemDirOverride()
{
    static QString Instance;
    return Instance;
}

QString WithSeparator(const QString& Folder)
{
    return Folder.endsWith(QLatin1Char('/')) ? Folder : Folder + QLatin1Char('/');
}

} // namespace

TAppFrame::TAppFrame()
{
    CommonAppDataPath = UserFolders::CommonConfig();
    AppDataPath = UserFolders::Config();
    ExePath = ExePathFor(ModuleFileName());
}

QString ExePathFor(const QString& ModuleFile)
{
    if (ModuleFile.isEmpty())
        return QString();
    QString exeFolder = WithSeparator(QFileInfo(ModuleFile).path());
    // A helper (the shutdown tool) finds the folder its programs find.
    const QString helper = QDir::cleanPath(exeFolder);
    if (helper.endsWith(QLatin1Char('/') + HelperFolder))
        exeFolder = WithSeparator(helper.chopped(HelperFolder.size()) + QStringLiteral("bin"));
    if (QFileInfo(exeFolder + LanguageFolderName).isDir())
        return exeFolder;
    const QString installed = WithSeparator(QDir::cleanPath(exeFolder + InstalledDataFolder));
    if (QFileInfo(installed + LanguageFolderName).isDir())
        return installed;
    return exeFolder;
}

QString LanguageFolderOf(const TAppFrame& Frame)
{
    return SystemPath(Frame.ExePath, QString(LanguageFolderName));
}

QString SuiteSettingsFile(const TAppFrame& Frame)
{
    return SystemPath(Frame.AppDataPath, QStringLiteral("\\Zelvo\\Corvane V8\\Main.ini"));
}

QString GetSystemDir()
{
    if (!SystemDirOverride().isEmpty())
        return SystemDirOverride();
    const QString exe = ModuleFileName();
    if (exe.isEmpty())
        return QString();
    return QDir::cleanPath(QFileInfo(exe).path() + QStringLiteral("/../libexec/lumidor"));
}

void SetSystemDirForTesting(const QString& Folder)
{
    SystemDirOverride() = Folder;
}

QString ModuleFileName()
{
    // No length limit: grow the buffer until the link fits.
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return QString();
        if (size_t(length) < buffer.size())
            return QFile::decodeName(QByteArray(buffer.data(), length));
        buffer.resize(buffer.size() * 2);
    }
}

QString SystemPath(const QString& Base, const QString& Suffix)
{
    QString suffix = Suffix;
    suffix.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(Base + suffix);
}
