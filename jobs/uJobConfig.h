#pragma once

#include <QString>

#include <memory>

class TIniFile;

// The record of the jobs this program created: an INI file with one section
// of shutdown jobs and one of restart jobs, each entry "JobN=<task>,<label>".
// Nothing is kept in memory; every operation reads or writes the file.
// A refused write raises EIniFileException "Unable to write to <file>".
class TJobConfig
{
public:
    // Creates the file's folder and its parents when missing; not the file.
    explicit TJobConfig(const QString& FileName);
    ~TJobConfig();

    TJobConfig(const TJobConfig&) = delete;
    TJobConfig& operator=(const TJobConfig&) = delete;

    const QString& FileName() const { return FFileName; }

    // The value of a job's entry: the work item's name, a comma and the label,
    // which may hold further commas.
    static QString JoinEntry(const QString& TaskName, const QString& Label);
    // Splits a value at its first comma; false for a value without one, which
    // names no job that can be listed.
    static bool SplitEntry(const QString& Value, QString& TaskName, QString& Label);

    // An empty label leaves the name alone, without a comma.
    void AddJob(const QString& TaskName, const QString& Label, bool IsShutdown);

    int ShutdownJobCount();
    int RestartJobCount();

    // The value at a 0-based position of the section; empty past the end.
    QString GetShutdownJob(int Index);
    QString GetRestartJob(int Index);

    void ClearShutdownJobs();
    void ClearRestartJobs();

    // Drops every entry equal to Value (ignoring the case of A to Z only) and
    // renumbers the rest Job1 to JobK, in one atomic rewrite of the file.
    void RemoveShutdownJob(const QString& Value);
    void RemoveRestartJob(const QString& Value);

private:
    int JobCount(const QString& Section);
    QString GetJob(const QString& Section, int Index);
    void RemoveJob(const QString& Section, const QString& Value);

    QString FFileName;
    std::unique_ptr<TIniFile> FIniFile;
};
