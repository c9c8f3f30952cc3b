#include "jobs/uJobConfig.h"

#include "jobs/SectionRenumbering.h"
#include "toolkit/IniFiles.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString ShutdownSection = QStringLiteral("Schedule_Shutdown");
const QString RestartSection = QStringLiteral("Schedule_Restart");

constexpr QChar EntrySeparator = u',';

QString SectionOf(bool IsShutdown)
{
    return IsShutdown ? ShutdownSection : RestartSection;
}

const QString JobKeyPrefix = QStringLiteral("Job");

QString JobKey(qsizetype Number)
{
    return JobKeyPrefix + QString::number(Number);
}

} // namespace

TJobConfig::TJobConfig(const QString& FileName)
    : FFileName(FileName)
{
    const qsizetype Separator = FileName.lastIndexOf(QLatin1Char('/'));
    if (Separator > 0) {
        const QString Folder = FileName.left(Separator + 1);
        // A folder that cannot be made shows up as a failed write later.
        if (!QFileInfo::exists(Folder))
            (void)QDir().mkpath(Folder);
    }
    FIniFile = std::make_unique<TIniFile>(FileName);
}

TJobConfig::~TJobConfig()
{
    try {
        FIniFile->Commit();
    } catch (...) {
        // Nothing is ever pending, and a destructor must not throw.
    }
}

QString TJobConfig::JoinEntry(const QString& TaskName, const QString& Label)
{
    return TaskName + EntrySeparator + Label;
}

bool TJobConfig::SplitEntry(const QString& Value, QString& TaskName, QString& Label)
{
    const qsizetype Separator = Value.indexOf(EntrySeparator);
    if (Separator < 0)
        return false;
    TaskName = Value.left(Separator);
    Label = Value.mid(Separator + 1);
    return true;
}

void TJobConfig::AddJob(const QString& TaskName, const QString& Label, bool IsShutdown)
{
    const QString Section = SectionOf(IsShutdown);
    QStringList Keys;
    FIniFile->ListKeys(Section, Keys);
    // In a section edited by hand "count + 1" may already be taken; never
    // overwrite an entry, take the next number no key uses.
    qsizetype Number = Keys.size() + 1;
    while (Keys.contains(JobKey(Number), Qt::CaseInsensitive))
        ++Number;
    const QString Value = Label.isEmpty() ? TaskName : JoinEntry(TaskName, Label);
    FIniFile->WriteEntry(Section, JobKey(Number), Value);
}

int TJobConfig::ShutdownJobCount()
{
    return JobCount(ShutdownSection);
}

int TJobConfig::RestartJobCount()
{
    return JobCount(RestartSection);
}

QString TJobConfig::GetShutdownJob(int Index)
{
    return GetJob(ShutdownSection, Index);
}

QString TJobConfig::GetRestartJob(int Index)
{
    return GetJob(RestartSection, Index);
}

void TJobConfig::ClearShutdownJobs()
{
    FIniFile->RemoveSection(ShutdownSection);
}

void TJobConfig::ClearRestartJobs()
{
    FIniFile->RemoveSection(RestartSection);
}

void TJobConfig::RemoveShutdownJob(const QString& Value)
{
    RemoveJob(ShutdownSection, Value);
}

void TJobConfig::RemoveRestartJob(const QString& Value)
{
    RemoveJob(RestartSection, Value);
}

int TJobConfig::JobCount(const QString& Section)
{
    QStringList Keys;
    FIniFile->ListKeys(Section, Keys);
    return int(Keys.size());
}

QString TJobConfig::GetJob(const QString& Section, int Index)
{
    if (Index < 0)
        return QString();
    // By position: a key that a hand edit repeated still names two entries.
    const QList<ProfileStrings::TProfileLine> Lines = FIniFile->ReadSectionLines(Section);
    return Index < Lines.size() ? Lines[Index].Value : QString();
}

// Deleting the section and adding the kept values back one by one would lose
// them all if the process died in between; the same result is written at once.
// A kept value goes back with its own bytes, which another tool may have
// written in the ANSI code page.
void TJobConfig::RemoveJob(const QString& Section, const QString& Value)
{
    if (!SectionRenumbering::RemoveValue(FIniFile->FileName(), Section, Value, JobKeyPrefix))
        FIniFile->RaiseWriteError();
}
