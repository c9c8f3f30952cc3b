#include "PackagingSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace Packaging;

// Builds the .deb with CPack, reads its contents and control fields, and
// installs, removes and purges it with dpkg in a scratch root.
namespace {

const QString PackagePrefix = QStringLiteral("/usr");

QStringList PackageNames(const QString& Field)
{
    QStringList names;
    for (const QString& alternative : Field.split(QRegularExpression("[,|]"), Qt::SkipEmptyParts))
        names << alternative.trimmed().section(QLatin1Char(' '), 0, 0);
    return names;
}

// A dpkg database in Root that knows the installed packages among Names, so
// that dpkg checks the package's dependencies against this machine.
bool MakeScratchDatabase(const QString& Root, const QStringList& Names, QString& Error)
{
    const QString admin = Root + "/var/lib/dpkg";
    if (!QDir().mkpath(admin + "/info") || !QDir().mkpath(admin + "/updates"))
        return false;
    QFile status(admin + "/status");
    if (!status.open(QIODevice::WriteOnly))
        return false;
    for (const QString& name : Names) {
        const TRun query = RunProgram("dpkg-query", {"-W", "-f", "${binary:Package}\\n${db:Status-Abbrev}", name});
        if (!Succeeded(query) || !query.Output.section('\n', 1).startsWith("ii")) {
            Error += name + " is not installed on this machine; ";
            continue;
        }
        const TRun stanza = RunProgram("dpkg-query", {"-s", name});
        status.write(stanza.Output.trimmed().toUtf8() + "\n\n");
        QFile list(admin + "/info/" + query.Output.section('\n', 0, 0) + ".list");
        if (!list.open(QIODevice::WriteOnly))
            return false;
    }
    return Error.isEmpty();
}

} // namespace

TEST(DebPackageTest, PackageHoldsEverythingAndInstallsAndLeavesTheUsersFilesOnRemoval)
{
    ASSERT_EQ(QStringLiteral(LUMIDOR_INSTALL_PREFIX), PackagePrefix)
        << "the package's unit and autostart entry name the configured prefix: configure with "
           "-DCMAKE_INSTALL_PREFIX=/usr";
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());

    const TRun cpack = RunProgram(LUMIDOR_CPACK,
        {"-G", "DEB", "--config", BuildDir + "/CPackConfig.cmake", "-B", work.path()});
    ASSERT_TRUE(Succeeded(cpack)) << cpack.Output.toStdString();
    const QStringList debs = QDir(work.path()).entryList({"lumidor_*.deb"}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << cpack.Output.toStdString();
    const QString deb = work.path() + "/" + debs.first();

    // Contents: every piece of an installation, nothing in /usr/local.
    const TRun contents = RunProgram("dpkg-deb", {"--contents", deb});
    ASSERT_TRUE(Succeeded(contents)) << contents.Output.toStdString();
    QStringList paths;
    for (const QString& line : contents.Output.split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(' ', Qt::SkipEmptyParts);
        ASSERT_GE(fields.size(), 6) << line.toStdString();
        paths << fields.at(5).mid(1); // "./usr/bin/lumidor"
        EXPECT_EQ(fields.at(1), "root/root") << line.toStdString();
    }
    for (const QString& entry : ExpectedFiles("/etc")) {
        const QString path = entry.startsWith('/') ? entry : PackagePrefix + "/" + entry;
        EXPECT_TRUE(paths.contains(path)) << path.toStdString();
    }
    for (const QString& path : paths) {
        EXPECT_FALSE(path.startsWith("/usr/local") || path.startsWith("/home")) << path.toStdString();
        // One documentation folder, named after the package.
        if (path.startsWith("/usr/share/doc/") && path != "/usr/share/doc/") {
            EXPECT_TRUE(path.startsWith("/usr/share/doc/lumidor/")) << path.toStdString();
        }
    }

    // Control fields: shared-library dependencies found by shlibdeps, and
    // every file below /etc a conffile.
    const TRun depends = RunProgram("dpkg-deb", {"--field", deb, "Depends"});
    ASSERT_TRUE(Succeeded(depends));
    for (const char* library : {"libqt6core6", "libqt6widgets6", "libqt6dbus6", "libc6", "libstdc++6"})
        EXPECT_TRUE(PackageNames(depends.Output).contains(library)) << library << " in " << depends.Output.toStdString();
    const QString control = work.path() + "/control";
    ASSERT_TRUE(Succeeded(RunProgram("dpkg-deb", {"--control", deb, control})));
    QFile conffiles(control + "/conffiles");
    ASSERT_TRUE(conffiles.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList inEtc;
    for (const QString& path : paths)
        if (path.startsWith("/etc/") && !path.endsWith('/'))
            inEtc << path;
    EXPECT_EQ(QString::fromUtf8(conffiles.readAll()).split('\n', Qt::SkipEmptyParts), inEtc);

    // Install into a scratch root whose database holds this machine's
    // packages of the dependencies: no error, no warning.
    const QString root = work.path() + "/root";
    QString missing;
    ASSERT_TRUE(MakeScratchDatabase(root, PackageNames(depends.Output), missing)) << missing.toStdString();
    QStringList dpkg{"--root=" + root, "--log=/dev/null"};
    if (geteuid() != 0)
        dpkg << "--force-not-root";
    const TRun install = RunProgram("dpkg", dpkg + QStringList{"--install", deb});
    EXPECT_TRUE(Succeeded(install)) << install.Output.toStdString();
    EXPECT_FALSE(install.Output.contains("error", Qt::CaseInsensitive)) << install.Output.toStdString();
    EXPECT_FALSE(install.Output.contains("warning", Qt::CaseInsensitive)) << install.Output.toStdString();
    EXPECT_TRUE(QFileInfo(root + "/usr/bin/lumidor").isExecutable());
    EXPECT_TRUE(QFileInfo(root + "/usr/libexec/lumidor/Shutdown.exe").isExecutable());

    if (HasProgram("lintian")) {
        const TRun lintian = RunProgram("lintian", {"--fail-on", "error", deb});
        EXPECT_TRUE(Succeeded(lintian)) << lintian.Output.toStdString();
    }

    // A user's job registry and work items survive removal and purge.
    const QStringList userFiles{
        "/home/user/.config/Zelvo/Corvane V8/Lumidor/Lumidor.ini",
        "/home/user/.local/share/lumidor/tasks/Zelvo_Lumidor20261209100000.job",
    };
    for (const QString& file : userFiles) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(root + file).path()));
        QFile user(root + file);
        ASSERT_TRUE(user.open(QIODevice::WriteOnly));
        user.write("kept\n");
    }
    const TRun remove = RunProgram("dpkg", dpkg + QStringList{"--remove", "lumidor"});
    EXPECT_TRUE(Succeeded(remove)) << remove.Output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(root + "/usr/bin/lumidor"));
    // Removal keeps the conffiles; purge takes them.
    EXPECT_TRUE(QFileInfo::exists(root + "/etc/xdg/autostart/lumidor-taskd.desktop"));
    const TRun purge = RunProgram("dpkg", dpkg + QStringList{"--purge", "lumidor"});
    EXPECT_TRUE(Succeeded(purge)) << purge.Output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(root + "/etc/xdg/autostart/lumidor-taskd.desktop"));
    for (const QString& file : userFiles) {
        QFile user(root + file);
        ASSERT_TRUE(user.open(QIODevice::ReadOnly)) << file.toStdString();
        EXPECT_EQ(user.readAll(), "kept\n");
    }
}
