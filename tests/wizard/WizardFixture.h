#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QDateTimeEdit>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <sys/stat.h>

#include "controls/PPageNote.h"
#include "controls/TLabel_Transparent.h"
#include "jobs/uJobConfig.h"
#include "platform/AppFrame_New.h"
#include "platform/DateFormat.h"
#include "platform/DateTime.h"
#include "platform/ProcessList.h"
#include "platform/TaskServiceLauncher.h"
#include "platform/WorkItemStore.h"
#include "resources/fonts/Fonts.h"
#include "scheduler/uTaskScheduler.h"
#include "support/TestFiles.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Dialogs.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/StdCtrls.h"
#include "wizard/uMain.h"

// A wizard window in its own folders, with a set clock, the English (United
// States) formats, a recording message box, a task store of its own (no task
// service started, no desktop shell) and a recording shutdown tool.
class WizardTest : public ::testing::Test
{
protected:
    struct TShownBox
    {
        TWinControl* Owner;
        QString Text;
        QString Caption;
        unsigned Flags;
    };

    void SetUp() override
    {
        ASSERT_TRUE(FHome.isValid());
        // The window is laid out for these faces.
        Fonts::InstallSubstitutes();
        for (const char* Name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_DIRS"}) {
            FSavedEnv.emplace_back(Name, qgetenv(Name));
            qputenv(Name, (FHome.path() + u'/' + QString::fromLatin1(Name)).toLocal8Bit());
        }
        WorkItemStore::SetFolderForTesting(StoreFolder());
        SetTaskServiceProgramForTesting(FHome.filePath(QStringLiteral("no-service")));
        ProcessList::SetSnapshotForTesting([] { return std::vector<TProcessEntry>(); });
        WriteRecordingTool();
        SetSystemDirForTesting(FHome.filePath(QStringLiteral("system")));
        SetNow(QDate(2014, 12, 8), QTime(21, 20));
        DateTime::SetClockForTesting([this] { return FNow; });
        SetFormatSettings(TFormatSettings());
        FSavedBox = SetMessageBoxFunc([this](TWinControl* Owner, const QString& Text, const QString& Caption, unsigned Flags) {
            Boxes.push_back({Owner, Text, Caption, Flags});
            return IDOK;
        });
    }

    void TearDown() override
    {
        Form.reset();
        SetSystemDirForTesting({});
        ProcessList::SetSnapshotForTesting({});
        SetTaskServiceProgramForTesting({});
        WorkItemStore::SetFolderForTesting({});
        SetMessageBoxFunc(FSavedBox);
        DateTime::SetClockForTesting({});
        RefreshFormatSettings();
        for (const auto& [Name, Value] : FSavedEnv) {
            if (Value.isNull())
                qunsetenv(Name);
            else
                qputenv(Name, Value);
        }
    }

    void SetNow(QDate Date, QTime Time) { FNow = QDateTime(Date, Time, Qt::LocalTime); }
    TDateTime Now() const { return DateTime::Now(); }

    QString StoreFolder() const { return FHome.filePath(QStringLiteral("store")); }
    // The language the suite's settings name.
    static void SetSuiteLanguage(const QByteArray& Language)
    {
        const QString SuiteFolder = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Zelvo/Corvane V8";
        ASSERT_TRUE(QDir().mkpath(SuiteFolder));
        QFile Settings(SuiteFolder + "/Main.ini");
        ASSERT_TRUE(Settings.open(QIODevice::WriteOnly));
        Settings.write("[Main]\r\nLanguage=" + Language + "\r\n");
    }
    // The window as the application makes it with the suite set to Language;
    // nullptr without that language's file beside the test program.
    static TfrmMain* FormIn(TApplication& App, const QByteArray& Language)
    {
        if (!QFile::exists(QStringLiteral(LUMIDOR_BUILD_DIR "/bin/Toolbox_Language/") + QString::fromLatin1(Language)
                + QStringLiteral(".lng")))
            return nullptr;
        SetSuiteLanguage(Language);
        TfrmMain* F = nullptr;
        App.CreateForm(F);
        return F;
    }
    QString RegistryPath() const
    {
        return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Zelvo/Corvane V8/Lumidor/Lumidor.ini");
    }
    QString RegistryText() const
    {
        QFile F(RegistryPath());
        return F.open(QIODevice::ReadOnly) ? QString::fromUtf8(F.readAll()) : QString();
    }
    QStringList ShutdownEntries() { return Entries(true); }
    QStringList RestartEntries() { return Entries(false); }
    QStringList Entries(bool Shutdown)
    {
        TJobConfig Config(RegistryPath());
        QStringList Values;
        const int Count = Shutdown ? Config.ShutdownJobCount() : Config.RestartJobCount();
        for (int I = 0; I < Count; ++I)
            Values += Shutdown ? Config.GetShutdownJob(I) : Config.GetRestartJob(I);
        return Values;
    }

    // A job as an earlier run of the wizard left it: a work item and its entry.
    void AddJob(const QString& Name, const QString& Label, bool IsShutdown, TDateTime Start, uint8_t Kind = 0)
    {
        TTaskInfo Info;
        Info.TaskName = Name;
        Info.ApplicationName = QStringLiteral("/bin/false");
        Info.Parameters = IsShutdown ? QStringLiteral("-s") : QStringLiteral("-r");
        Info.StartTime = Start;
        Info.TriggerKind = Kind;
        TTaskScheduler Client;
        ASSERT_TRUE(Client.CreateTask(Info)) << Name.toStdString();
        TJobConfig(RegistryPath()).AddJob(Name, Label, IsShutdown);
    }
    static bool ItemExists(const QString& Name)
    {
        TWorkItem Item;
        return WorkItemStore::Load(Name, Item) == TStoreResult::Ok;
    }

    // The arguments the shutdown tool was run with, a line a run, once Count have
    // arrived (it is not waited for) or after a few seconds.
    QStringList ToolCalls(int Count = 0) const
    {
        const QString Path = FHome.filePath(QStringLiteral("system/calls.log"));
        const QDeadlineTimer Deadline(Count > 0 ? 10000 : 300);
        QStringList Lines;
        do {
            QFile F(Path);
            Lines = F.open(QIODevice::ReadOnly) ? QString::fromUtf8(F.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
            if (Count > 0 && Lines.size() >= Count)
                break;
            QThread::msleep(20);
        } while (!Deadline.hasExpired());
        for (QString& Line : Lines)
            Line = Line.section(u' ', 1);
        return Lines;
    }

    TfrmMain& MakeForm()
    {
        Form = std::make_unique<TfrmMain>();
        return *Form;
    }

    // What a user's action does, through the widgets, so that the wiring of
    // the description is part of what is tested.
    static void Click(TControl* C) { static_cast<QAbstractButton*>(C->Widget())->click(); }
    static void Choose(TComboBox* C, int Index)
    {
        auto* W = static_cast<QComboBox*>(C->Widget());
        W->setCurrentIndex(Index);
        emit W->activated(Index);
    }
    static void SetPickerTime(TDateTimePicker* P, QTime Time)
    {
        auto* W = static_cast<QDateTimeEdit*>(P->Widget());
        W->setDateTime(QDateTime(W->date(), Time, Qt::UTC));
    }
    static void SetPickerDate(TDateTimePicker* P, QDate Date)
    {
        auto* W = static_cast<QDateTimeEdit*>(P->Widget());
        W->setDateTime(QDateTime(Date, W->time(), Qt::UTC));
    }

    static TDateTime At(int Year, int Month, int Day, int Hour, int Minute, int Second = 0)
    {
        return DateTime::EncodeDate(Year, Month, Day) + DateTime::EncodeTime(Hour, Minute, Second);
    }

    std::unique_ptr<TfrmMain> Form;
    std::vector<TShownBox> Boxes;

private:
    // Writes each run's arguments, one line a run, with the minute it ran in.
    void WriteRecordingTool()
    {
        const QString Folder = FHome.filePath(QStringLiteral("system"));
        ASSERT_TRUE(TestFiles::WriteRecordingProgram(Folder + QStringLiteral("/Shutdown.exe"),
            Folder + QStringLiteral("/calls.log"), QStringLiteral("%H:%M")));
    }

protected:
    QTemporaryDir FHome;

private:
    QDateTime FNow;
    std::vector<std::pair<const char*, QByteArray>> FSavedEnv;
    TMessageBoxFunc FSavedBox;
};
