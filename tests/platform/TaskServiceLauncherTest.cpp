#include "platform/TaskServiceLauncher.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/TestFiles.h"

// The launcher with a stand-in for the service: a script that tells what it
// was given and writes a line of log, as the service would.

namespace {

bool WaitForFile(const QString& Path)
{
    const QDeadlineTimer Deadline(20000);
    while (!QFile::exists(Path) && !Deadline.hasExpired())
        QThread::msleep(20);
    return QFile::exists(Path);
}

} // namespace

TEST(TaskServiceLauncher, ASpawnedServiceLogsIntoItsFileMovedAsideWhenLarge)
{
    QTemporaryDir Home;
    ASSERT_TRUE(Home.isValid());
    const QByteArray SavedState = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QFile::encodeName(Home.filePath("state")));
    const QString Told = Home.filePath("told");
    const QString Program = Home.filePath("lumidor-taskd");
    ASSERT_TRUE(TestFiles::Write(Program,
        QStringLiteral("#!/bin/sh\n"
                       "echo \"$* in:$(readlink /proc/$$/fd/0) out:$(readlink /proc/$$/fd/1)\" > '%1.tmp'\n"
                       "echo 'the service speaks' >&2\n"
                       "mv '%1.tmp' '%1'\n")
            .arg(Told)
            .toUtf8()));
    ASSERT_EQ(::chmod(QFile::encodeName(Program).constData(), 0755), 0);
    SetTaskServiceProgramForTesting(Program);
    const QString Log = TaskServiceLogPath();
    EXPECT_EQ(Log, Home.filePath("state/lumidor/lumidor-taskd.log"));
    const QByteArray Old = QByteArray(1024 * 1024 + 1, 'x');
    ASSERT_TRUE(TestFiles::Write(Log, Old));

    ASSERT_TRUE(StartTaskService(Home.path()));
    ASSERT_TRUE(WaitForFile(Told));
    EXPECT_EQ(TestFiles::Read(Told), "--store " + QFile::encodeName(Home.path()) + " in:/dev/null out:/dev/null\n");
    const QDeadlineTimer Deadline(20000);
    while (TestFiles::Read(Log).isEmpty() && !Deadline.hasExpired())
        QThread::msleep(20);
    EXPECT_EQ(TestFiles::Read(Log), "the service speaks\n");
    EXPECT_EQ(TestFiles::Read(Log + ".old"), Old);

    SetTaskServiceProgramForTesting(Home.filePath("no-task-service"));
    qputenv("XDG_STATE_HOME", SavedState);
}
