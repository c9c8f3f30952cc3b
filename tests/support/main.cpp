#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/InstanceLock.h"
#include "platform/TaskServiceLauncher.h"

// Every test program gets an application object: widget tests need one, and
// the others lose nothing by it. The platform is offscreen unless set.
//
// No test may touch the user's own folders or leave a task service behind:
// the XDG folders point into a private temporary folder for the whole run,
// and the launcher starts no service unless a test names one itself.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QTemporaryDir Sandbox(QDir::tempPath() + QStringLiteral("/lumidor-tests-XXXXXX"));
    if (!Sandbox.isValid())
        return 2;
    for (const char* Name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString Folder = Sandbox.filePath(QString::fromLatin1(Name));
        QDir().mkpath(Folder);
        QFile::setPermissions(Folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(Name, QFile::encodeName(Folder));
    }
    // Nor the machine's buses, for the test and for the programs it starts
    // with this environment: a window or lumidorctl would ask the user
    // manager there to start the task service. Tests that need a bus start
    // their own.
    const QByteArray NoBus = "unix:path=" + QFile::encodeName(Sandbox.filePath(QStringLiteral("no-bus")));
    qputenv("DBUS_SESSION_BUS_ADDRESS", NoBus);
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", NoBus);
    // The instance lock's folder does not follow the environment.
    InstanceLock::SetRuntimeFolderForTesting(Sandbox.filePath(QStringLiteral("XDG_RUNTIME_DIR")));
    SetTaskServiceProgramForTesting(Sandbox.filePath(QStringLiteral("no-task-service")));

    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
