#include "platform/ShellExecute.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A program that writes its arguments, one a line, then its parent and
// what its standard input is.
QString WriteRecorder(const QTemporaryDir& Dir)
{
    const QString Path = Dir.filePath("record.sh");
    QFile F(Path);
    EXPECT_TRUE(F.open(QIODevice::WriteOnly));
    F.write(QStringLiteral("#!/bin/sh\n"
                           "out='%1'\n"
                           "for a in \"$@\"; do echo \"arg:$a\" >> \"$out.tmp\"; done\n"
                           "echo \"ppid:$PPID\" >> \"$out.tmp\"\n"
                           "echo \"stdin:$(readlink /proc/self/fd/0)\" >> \"$out.tmp\"\n"
                           "mv \"$out.tmp\" \"$out\"\n")
                .arg(Dir.filePath("out.txt"))
                .toUtf8());
    F.close();
    EXPECT_EQ(::chmod(QFile::encodeName(Path).constData(), 0755), 0);
    return Path;
}

QStringList WaitForLines(const QString& Path)
{
    const QDeadlineTimer Deadline(20000);
    while (!QFile::exists(Path) && !Deadline.hasExpired())
        QThread::msleep(20);
    QFile F(Path);
    if (!F.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(F.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

TEST(ShellExecute, StartsTheProgramDetachedWithItsParametersSplitAndNoShell)
{
    QTemporaryDir Dir;
    ASSERT_TRUE(Dir.isValid());
    const QString Program = WriteRecorder(Dir);

    ASSERT_TRUE(ShellExecute(Program, QStringLiteral("-a \"two words\" $HOME;x")));
    const QStringList Lines = WaitForLines(Dir.filePath("out.txt"));
    ASSERT_EQ(Lines.size(), 5) << Lines.join(u'|').toStdString();
    EXPECT_EQ(Lines[0], "arg:-a");
    EXPECT_EQ(Lines[1], "arg:two words");
    EXPECT_EQ(Lines[2], "arg:$HOME;x");
    // Not our child: the intermediate parent is gone, nobody has to reap it.
    EXPECT_NE(Lines[3], QStringLiteral("ppid:%1").arg(getpid()));
    EXPECT_EQ(Lines[4], "stdin:/dev/null");
}

TEST(ShellExecute, AMissingOrEmptyProgramIsNotStarted)
{
    QTemporaryDir Dir;
    ASSERT_TRUE(Dir.isValid());
    EXPECT_FALSE(ShellExecute(Dir.filePath("none"), QStringLiteral("-a")));
    EXPECT_FALSE(ShellExecute(QString(), QStringLiteral("-a")));
}
