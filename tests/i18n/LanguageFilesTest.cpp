#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>

#include "i18n/ExtIniFiles.h"

namespace {

const QString LanguageFolder = QStringLiteral(LUMIDOR_SOURCE_DIR "/resources/Toolbox_Language");

// What the window's translation walk asks for, in its order.
QStringList WindowKeys()
{
    QStringList Keys{"frmMain.Caption"};
    for (const char* Name : {"lbl_Title", "lbl_Detail", "btnBack", "btnNext", "btnClose", "lbl_Job", "lbl_PreJob",
                             "rgAction", "rbCreate", "rbDelete", "lbl_AddSchJob", "lbl_AddJob", "rgAddAction",
                             "rbShutdown", "rbRestart"})
        Keys.append(QString::fromLatin1(Name) + ".Caption");
    for (int J = 0; J < 4; ++J)
        Keys.append(QStringLiteral("cbOption.Items[%1].Caption").arg(J));
    for (int J = 0; J < 8; ++J)
        Keys.append(QStringLiteral("cbOption2.Items[%1].Caption").arg(J));
    for (const char* Name : {"rbAfter", "rbOrat1", "rbOrat2"})
        Keys.append(QString::fromLatin1(Name) + ".Caption");
    Keys.append(QStringLiteral("lvView.Columns[0].Caption"));
    return Keys;
}

// What the wizard asks GetText for, then what the task service and the
// shutdown tool show around a run, lumidorctl's texts, and what the window
// says to a screen reader.
const QStringList RuntimeKeys{"next", "Finished", "Delete", "Shutdown_at", "Restart_at", "Scheduled_Exists",
                              "time_less_than", "Added_Succ", "Deleted_Succ", "Add_Failed", "Delete_Failed",
                              "HeadsUp_Shutdown", "HeadsUp_Restart", "HeadsUp_Body", "HeadsUp_Skip",
                              "Countdown_Shutdown", "Countdown_Restart", "Countdown_Body_Shutdown", "Countdown_Body_Restart",
                              "Countdown_Abort",
                              "Countdown_Postpone", "Postpone_Failed", "Failed_Shutdown", "Failed_Restart",
                              "Failed_NoLogind", "Failed_Refused", "Failed_Inhibited", "Failed_Logind",
                              "Slept_Shutdown", "Slept_Restart", "NotPlanned_Shutdown", "NotPlanned_Restart",
                              "Failed_InProgress", "Countdown_Other", "Failed_Channel", "Ended_Body", "Clock_Moved",
                              "Countdown_Moved",
                              "Ctl_Added", "Ctl_Deleted", "Ctl_Shutdown", "Ctl_Restart", "Ctl_NoJob", "Ctl_BadUsage",
                              "Ctl_BadDelay", "Ctl_BadTime", "Ctl_BadDate", "Ctl_BadWhen", "Ctl_BadDay", "Ctl_NoStore",
                              "Ctl_AbortFailed",
                              "Ctl_Missing", "Ctl_BadOption", "Ctl_BadDateForm", "Ctl_RepeatTime", "Ctl_NoSuchMoment",
                              "Ctl_Twice", "Ctl_NothingToAbort", "Ctl_WriteFailed", "Ctl_HelpUsage", "Ctl_HelpIntro",
                              "Ctl_HelpCommands", "Ctl_HelpAdd", "Ctl_HelpWhen", "Ctl_HelpList", "Ctl_HelpNext",
                              "Ctl_HelpDelete", "Ctl_HelpAbort", "Ctl_HelpHistory", "Ctl_HelpVersion",
                              "Ctl_HelpOptions", "Ctl_HelpExit", "Ctl_Aborted",
                              "Listed_Jobs", "Listed_None"};

QStringList Keys(TExtIniFile& Ini, const QString& Section)
{
    QStringList Out;
    Ini.ListKeys(Section, Out);
    return Out;
}

QStringList ShippedFiles()
{
    return QDir(LanguageFolder).entryList({"*.lng"}, QDir::Files, QDir::Name);
}

} // namespace

TEST(LanguageFiles, EveryLanguageIsShipped)
{
    EXPECT_EQ(ShippedFiles(), (QStringList{"Chinese-Simplified.lng", "English.lng", "French.lng", "German.lng",
                                           "Italian.lng", "Japanese.lng", "Polish.lng", "Portuguese-Brazil.lng",
                                           "Russian.lng", "Spanish.lng"}));
}

TEST(LanguageFiles, EveryFileHasEveryKeyAndNothingElse)
{
    for (const QString& Name : ShippedFiles()) {
        SCOPED_TRACE(Name.toStdString());
        TExtIniFile Ini;
        Ini.LoadFile(LanguageFolder + "/" + Name);

        QStringList Sections;
        Ini.ListSections(Sections);
        EXPECT_EQ(Sections, (QStringList{"Main", "Lumidor_frmMain", "Lumidor_M"}));
        EXPECT_EQ(Keys(Ini, "Main"), QStringList{"DisplayName"});
        EXPECT_EQ(Keys(Ini, "Lumidor_frmMain"), WindowKeys());
        EXPECT_EQ(Keys(Ini, "Lumidor_M"), RuntimeKeys);

        for (const QString& Section : Sections) {
            QStringList Lines;
            Ini.GetSectionLines(Section, Lines);
            for (const QString& Line : Lines) {
                const QString Value = Line.mid(Line.indexOf(u'=') + 1);
                EXPECT_FALSE(Value.isEmpty()) << Line.toStdString();
                EXPECT_FALSE(Value.contains(QChar::ReplacementCharacter)) << Line.toStdString();
            }
        }
    }
}

TEST(LanguageFiles, EnglishMatchesTheProgramsDefaults)
{
    TExtIniFile Ini;
    Ini.LoadFile(LanguageFolder + "/English.lng");
    const std::pair<const char*, const char*> Defaults[] = {
        {"next", "Next >"},
        {"Finished", "Finished"},
        {"Delete", "Delete"},
        {"Scheduled_Exists", "Scheduled task already exists!"},
        {"time_less_than", "Please set up a valid schedule time!"},
        {"Added_Succ", "Added successfully!"},
        {"Deleted_Succ", "Deleted successfully!"},
        {"Add_Failed", "The scheduled task could not be created!"},
        {"Delete_Failed", "The scheduled task could not be deleted!"},
        {"HeadsUp_Shutdown", "The computer shuts down at %1"},
        {"HeadsUp_Restart", "The computer restarts at %1"},
        {"HeadsUp_Body", "Save your work. Lumidor does this as you scheduled it."},
        {"HeadsUp_Skip", "Skip this time"},
        {"Countdown_Abort", "Abort"},
        {"Countdown_Postpone", "Postpone 10 minutes"},
        {"Failed_Shutdown", "The computer was NOT shut down"},
        {"Failed_Restart", "The computer was NOT restarted"},
        {"Listed_Jobs", "Scheduled tasks in the list: %1"},
        {"Listed_None", "The list holds no scheduled task."},
    };
    for (const auto& [Key, Text] : Defaults)
        EXPECT_EQ(Ini.ReadEntry("Lumidor_M", Key, QString()), QString::fromUtf8(Text)) << Key;
}

// The shipped files use every encoding the reader knows, so that they
// exercise each way in; the display names prove the decoding.
TEST(LanguageFiles, ShippedFilesCoverEveryEncodingAndDecode)
{
    struct Case
    {
        const char* File;
        QByteArray Mark;
        const char* DisplayName;
    };
    const Case Cases[] = {
        {"German.lng", "", "Deutsch"},
        {"French.lng", "", "Français"},
        {"Polish.lng", "\xEF\xBB\xBF", "Polski"},
        {"Chinese-Simplified.lng", "\xEF\xBB\xBF", "简体中文"},
        {"Russian.lng", "\xFF\xFE", "Русский"},
        {"Japanese.lng", "\xFF\xFE", "日本語"},
        {"Italian.lng", "\xFE\xFF", "Italiano"},
    };
    for (const Case& C : Cases) {
        QFile File(LanguageFolder + "/" + C.File);
        ASSERT_TRUE(File.open(QIODevice::ReadOnly)) << C.File;
        const QByteArray Bytes = File.readAll();
        if (C.Mark.isEmpty())
            EXPECT_FALSE(Bytes.startsWith("\xEF\xBB\xBF") || Bytes.startsWith("\xFF\xFE") || Bytes.startsWith("\xFE\xFF"));
        else
            EXPECT_TRUE(Bytes.startsWith(C.Mark)) << C.File;

        TExtIniFile Ini;
        Ini.LoadFile(File.fileName());
        EXPECT_EQ(Ini.ReadEntry("Main", "DisplayName", QString()), QString::fromUtf8(C.DisplayName)) << C.File;
    }
}

// The window puts one plain blank between these texts and the time, so a
// text that ended in a blank of its own (a no-break space survives the
// reader's trimming) would put a second, foreign character into every stored
// job label.
TEST(LanguageFiles, PreviewPrefixesEndWithoutABlank)
{
    for (const QString& Name : ShippedFiles()) {
        TExtIniFile Ini;
        Ini.LoadFile(LanguageFolder + "/" + Name);
        for (const char* Key : {"Shutdown_at", "Restart_at"}) {
            const QString Text = Ini.ReadEntry("Lumidor_M", Key, QString());
            ASSERT_FALSE(Text.isEmpty()) << Name.toStdString() << " " << Key;
            EXPECT_FALSE(Text.back().isSpace()) << Name.toStdString() << " " << Key;
        }
    }
}

// A translation that dropped or added a placeholder would lose the time, the
// inhibitor's name or its reason, or show a bare "%2".
TEST(LanguageFiles, TranslationsKeepTheEnglishPlaceholders)
{
    const auto Placeholders = [](const QString& Text) {
        QStringList Found;
        for (qsizetype I = Text.indexOf(u'%'); I >= 0 && I + 1 < Text.size(); I = Text.indexOf(u'%', I + 1))
            if (Text.at(I + 1).isDigit())
                Found.append(Text.mid(I, 2));
        Found.sort();
        return Found;
    };
    TExtIniFile English;
    English.LoadFile(LanguageFolder + "/English.lng");
    for (const QString& Name : ShippedFiles()) {
        TExtIniFile Ini;
        Ini.LoadFile(LanguageFolder + "/" + Name);
        for (const QString& Key : RuntimeKeys)
            EXPECT_EQ(Placeholders(Ini.ReadEntry("Lumidor_M", Key, QString())),
                Placeholders(English.ReadEntry("Lumidor_M", Key, QString())))
                << Name.toStdString() << " " << Key.toStdString();
    }
}

// Every new text is translated: only the product's name and "logind" may stay.
TEST(LanguageFiles, TextsAroundARunAreTranslated)
{
    TExtIniFile English;
    English.LoadFile(LanguageFolder + "/English.lng");
    for (const QString& Name : ShippedFiles()) {
        if (Name == "English.lng")
            continue;
        TExtIniFile Ini;
        Ini.LoadFile(LanguageFolder + "/" + Name);
        for (const QString& Key : RuntimeKeys.mid(RuntimeKeys.indexOf("HeadsUp_Shutdown")))
            EXPECT_NE(Ini.ReadEntry("Lumidor_M", Key, QString()), English.ReadEntry("Lumidor_M", Key, QString()))
                << Name.toStdString() << " " << Key.toStdString();
    }
}
