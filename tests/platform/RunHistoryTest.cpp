#include "platform/RunHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class RunHistoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        Path = Dir.filePath(QStringLiteral("state/lumidor/history.log"));
        RunHistory::SetFileForTesting(Path);
    }
    void TearDown() override { RunHistory::SetFileForTesting(QString()); }

    QList<QByteArray> FileLines() const
    {
        QFile F(Path);
        if (!F.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> Lines = F.readAll().split('\n');
        if (!Lines.isEmpty() && Lines.last().isEmpty())
            Lines.removeLast();
        return Lines;
    }

    // Count lines "event N", each Width bytes long with its line feed.
    void Prefill(int Count, int Width)
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(Path).absolutePath()));
        QFile F(Path);
        ASSERT_TRUE(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (int I = 0; I < Count; ++I) {
            QByteArray Line = "event " + QByteArray::number(I) + ' ';
            Line += QByteArray(Width - 1 - Line.size(), 'x') + '\n';
            F.write(Line);
        }
    }

    QTemporaryDir Dir;
    QString Path;
};

} // namespace

TEST_F(RunHistoryTest, EachEventIsOneLineWithTheLocalTimeAndNothingBreaksOrOverflowsIt)
{
    const struct
    {
        QString Details;
        QString Expected;
    } Cases[] = {
        {"the run due at 21:30:00", "started daily.job: the run due at 21:30:00"},
        {"two\nlines\rhere", "started daily.job: two lines here"},
    };
    for (const auto& Case : Cases)
        ASSERT_TRUE(RunHistory::Append(RunHistory::TEvent::Started, "daily.job", Case.Details));
    // Cut at the line bound, and never inside a character.
    ASSERT_TRUE(RunHistory::Append(RunHistory::TEvent::Missed, "long.job", QString(300, QChar(0x00e9))));

    const QStringList Lines = RunHistory::Read();
    ASSERT_EQ(Lines.size(), 3);
    const QRegularExpression Time("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d [+-]\\d\\d:\\d\\d ");
    for (int I = 0; I < 2; ++I) {
        EXPECT_TRUE(Time.match(Lines[I]).hasMatch()) << Lines[I].toStdString();
        EXPECT_EQ(Lines[I].mid(27), Cases[I].Expected);
    }
    const QList<QByteArray> Raw = FileLines();
    ASSERT_EQ(Raw.size(), 3);
    EXPECT_LE(Raw[2].size() + 1, RunHistory::MaxLineBytes);
    EXPECT_GT(Raw[2].size() + 1, RunHistory::MaxLineBytes - 2);
    EXPECT_FALSE(Lines[2].contains(QChar::ReplacementCharacter));
    EXPECT_TRUE(Lines[2].endsWith(QChar(0x00e9)));
}

TEST_F(RunHistoryTest, ReadShowsTheLastMaxEvents)
{
    for (const int Count : {RunHistory::MaxEvents, RunHistory::MaxEvents + 1}) {
        Prefill(Count, 40);
        const QStringList Lines = RunHistory::Read();
        ASSERT_EQ(Lines.size(), RunHistory::MaxEvents) << Count;
        EXPECT_TRUE(Lines.first().startsWith(QStringLiteral("event %1 ").arg(Count - RunHistory::MaxEvents)));
        EXPECT_TRUE(Lines.last().startsWith(QStringLiteral("event %1 ").arg(Count - 1)));
    }
}

TEST_F(RunHistoryTest, TheFileIsCutBackToTheLastMaxEventsOnlyOnceItPassesItsBound)
{
    ASSERT_TRUE(RunHistory::Append(RunHistory::TEvent::Started, "first.job", "makes the folder"));
    const int Width = 100;
    const int AtBound = int(RunHistory::TrimAtBytes / Width);
    const int NewLine = int(RunHistory::Append(RunHistory::TEvent::Skipped, "y", "z") ? FileLines().last().size() + 1 : 0);
    ASSERT_GT(NewLine, 0);

    // Ending exactly at the bound with the new line: kept whole.
    const int Before = int((RunHistory::TrimAtBytes - NewLine) / Width);
    Prefill(Before, Width);
    {
        QFile F(Path);
        ASSERT_TRUE(F.open(QIODevice::Append));
        F.write(QByteArray(int(RunHistory::TrimAtBytes - NewLine - qint64(Before) * Width), '-'));
    }
    ASSERT_TRUE(RunHistory::Append(RunHistory::TEvent::Skipped, "y", "z"));
    EXPECT_EQ(QFile(Path).size(), RunHistory::TrimAtBytes);
    EXPECT_GT(FileLines().size(), RunHistory::MaxEvents);

    // One byte past it: cut to the last MaxEvents, the new line last.
    Prefill(AtBound, Width);
    ASSERT_TRUE(RunHistory::Append(RunHistory::TEvent::Finished, "last.job", "exit code 0"));
    const QList<QByteArray> Lines = FileLines();
    ASSERT_EQ(Lines.size(), RunHistory::MaxEvents);
    EXPECT_TRUE(Lines.first().startsWith("event " + QByteArray::number(AtBound + 1 - RunHistory::MaxEvents) + ' '));
    EXPECT_TRUE(Lines.last().endsWith("finished last.job: exit code 0"));
}

TEST_F(RunHistoryTest, AFullDiskLosesTheLineAndNothingElse)
{
    ASSERT_TRUE(RunHistory::Append(RunHistory::TEvent::Started, "first.job", "makes the folder"));
    ASSERT_TRUE(QFile::remove(Path));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), Path));
    EXPECT_FALSE(RunHistory::Append(RunHistory::TEvent::Started, "daily.job", "lost"));
    EXPECT_TRUE(RunHistory::Read().isEmpty());

    // Nowhere to make the folder: lost as well.
    RunHistory::SetFileForTesting(QStringLiteral("/dev/null/lumidor/history.log"));
    EXPECT_FALSE(RunHistory::Append(RunHistory::TEvent::Started, "daily.job", "lost"));
}
