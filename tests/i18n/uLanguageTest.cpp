#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "i18n/uLanguage.h"

namespace {

// A language file whose run-time section names the language, so that a test
// can tell which file is in force.
QByteArray LanguageFile(const QString& Name)
{
    return QStringLiteral("[Main]\nDisplayName=%1 shown\n[Lumidor_M]\nWho=%1\n").arg(Name).toUtf8();
}

class LanguageTest : public ::testing::Test
{
protected:
    void Write(const QString& RelativePath, const QByteArray& Content)
    {
        const QString Path = Base + "/" + RelativePath;
        QDir().mkpath(QFileInfo(Path).path());
        QFile File(Path);
        ASSERT_TRUE(File.open(QIODevice::WriteOnly));
        File.write(Content);
    }

    void WriteLanguages(const QStringList& Names)
    {
        for (const QString& Name : Names)
            Write("lang/" + Name + ".lng", LanguageFile(Name));
    }

    QString Folder() const { return Base + "/lang"; }
    QString SettingsFile() const { return Base + "/Main.ini"; }

    // What the wizard does at its creation.
    QString Start(TLanguage& Language)
    {
        Language.ScanLanguages(Folder());
        Language.SelectLanguage(Language.ReadSetting(SettingsFile(), "Main", "Language"));
        return Language.GetText("Who", "<none>");
    }

    QTemporaryDir Dir;
    // Where the files of a test, or of one case of a table, lie.
    QString Base = Dir.path();
};

} // namespace

TEST_F(LanguageTest, SelectsTheSetLanguageOrFallsBack)
{
    struct Case
    {
        const char* What;
        QStringList Files;
        QStringList Folders;
        const char* Settings; // null: no settings file
        QString Expected;
    };
    const Case Cases[] = {
        {"no settings file gives English", {"English", "German"}, {}, nullptr, "English"},
        {"no key gives English", {"English", "German"}, {}, "[Main]\nOther=German\n", "English"},
        {"set language", {"English", "German"}, {}, "[Main]\nLanguage=German\n", "German"},
        {"setting in other letter case", {"English", "German"}, {}, "[Main]\nLanguage=gERMAN\n", "German"},
        {"empty setting gives English", {"English", "German"}, {}, "[Main]\nLanguage=\n", "English"},
        {"unknown language gives English", {"English", "German"}, {}, "[Main]\nLanguage=Klingon\n", "English"},
        {"no English keeps the last scanned", {"French", "German", "Abc"}, {}, "[Main]\nLanguage=Klingon\n", "German"},
        {"sub-folder is never selected", {"English", "German"}, {"x.lng"}, "[Main]\nLanguage=x\n", "English"},
        {"sub-folder scanned last keeps the file before", {"French", "German"}, {"zz.lng"}, "[Main]\nLanguage=zz\n", "German"},
        {"no files at all", {}, {}, "[Main]\nLanguage=German\n", "<none>"},
    };
    int Number = 0;
    for (const Case& C : Cases) {
        Base = Dir.filePath(QString::number(++Number));
        QDir().mkpath(Folder());
        WriteLanguages(C.Files);
        for (const QString& Sub : C.Folders)
            QDir().mkpath(Folder() + "/" + Sub);
        if (C.Settings)
            Write("Main.ini", C.Settings);

        TLanguage Language("Lumidor");
        EXPECT_EQ(Start(Language), C.Expected) << C.What;
        if (C.Expected != "<none>")
            EXPECT_EQ(Language.LanguageNames().value(Language.LanguageIndex()), C.Expected) << C.What;
        else
            EXPECT_EQ(Language.LanguageIndex(), -1) << C.What;
    }
}

// The scan yields the entry's own spelling, so the path is built from that
// and not from the setting's letter case, which would miss on this file system.
TEST_F(LanguageTest, SettingInOtherCaseFindsTheFileOnACaseSensitiveFileSystem)
{
    Write("lang/German.lng", LanguageFile("German"));
    Write("lang/Polish.LNG", LanguageFile("Polish"));
    TLanguage Language("Lumidor");
    Language.ScanLanguages(Folder() + "/");
    EXPECT_EQ(Language.LanguageFolder(), Folder());

    Language.SelectLanguage("german");
    EXPECT_EQ(Language.GetText("Who", "<none>"), "German");
    Language.SelectLanguage("POLISH");
    EXPECT_EQ(Language.GetText("Who", "<none>"), "Polish");
}

TEST_F(LanguageTest, ScanListsEveryEntryWithItsDisplayName)
{
    Write("lang/English.lng", LanguageFile("English"));
    Write("lang/Nameless.lng", "[Lumidor_M]\nWho=Nameless\n");
    Write("lang/.Hidden.lng", LanguageFile("Hidden"));
    Write("lang/notes.txt", "");
    QDir().mkpath(Folder() + "/Sub.lng");

    TLanguage Language("Lumidor");
    EXPECT_EQ(Language.LanguageIndex(), -1);
    Language.ScanLanguages(Folder());
    EXPECT_EQ(Language.LanguageNames(), (QStringList{".Hidden", "English", "Nameless", "Sub"}));
    // A sub-folder shows its own name, not the display name of the file
    // loaded before it; the language in force keeps its own index.
    EXPECT_EQ(Language.DisplayNames(), (QStringList{"Hidden shown", "English shown", "Nameless", "Sub"}));
    EXPECT_EQ(Language.LanguageIndex(), 2);
    EXPECT_EQ(Language.GetText("Who", "<none>"), "Nameless");

    // A second scan appends the languages again.
    Language.ScanLanguages(Folder());
    EXPECT_EQ(Language.LanguageNames().size(), 8);
}

TEST_F(LanguageTest, MissingFolderLeavesEveryDefault)
{
    TLanguage Language("Lumidor");
    Language.ScanLanguages(Dir.filePath("missing"));
    Language.SelectLanguage("English");
    EXPECT_TRUE(Language.LanguageNames().isEmpty());
    EXPECT_EQ(Language.LanguageIndex(), -1);
    EXPECT_EQ(Language.GetText("next", "Next >"), "Next >");
    EXPECT_EQ(Language.ReadText("Main", "DisplayName", "dflt"), "dflt");
}

TEST_F(LanguageTest, RunTimeTextsFollowTheLoadedFile)
{
    Write("lang/English.lng",
        "[Lumidor_M]\n"
        "Shutdown_at =  Herunterfahren am:  \n"
        "Empty=\n"
        "Twice=first\n"
        "TWICE=second\n"
        "nameless line\n"
        "Formula=a=b\n"
        "[Other_M]\n"
        "Foreign=x\n");
    TLanguage Language("Lumidor");
    EXPECT_EQ(Language.GetText("Shutdown_at", "before any load"), "before any load");
    Language.ScanLanguages(Folder());

    struct Case
    {
        const char* Key;
        QString Expected;
    };
    const Case Cases[] = {
        {"Shutdown_at", "Herunterfahren am:"},
        {"shutdown_AT", "Herunterfahren am:"},
        {"Empty", ""},
        {"twice", "second"},
        {"Formula", "a=b"},
        {"Foreign", "<default>"},
        {"nameless line", "<default>"},
        {"Missing", "<default>"},
    };
    for (const Case& C : Cases)
        EXPECT_EQ(Language.GetText(C.Key, "<default>"), C.Expected) << C.Key;
}

TEST_F(LanguageTest, FileWithoutRunTimeSectionKeepsEveryDefault)
{
    Write("lang/English.lng", LanguageFile("English"));
    Write("lang/German.lng", "\xEF\xBB\xBF[Lumidor_frmMain]\nbtnClose.Caption=Schließen\n");
    TLanguage Language("Lumidor");
    Language.ScanLanguages(Folder());
    Language.SelectLanguage("English");
    ASSERT_EQ(Language.GetText("Who", "<none>"), "English");

    // The run-time texts of the language before are not kept.
    Language.SelectLanguage("German");
    EXPECT_EQ(Language.GetText("Who", "<none>"), "<none>");
    EXPECT_EQ(Language.ReadText("Lumidor_frmMain", "btnClose.Caption", "Close"), "Schließen");
}

TEST_F(LanguageTest, ReadSettingGoesThroughTheProfileRules)
{
    struct Case
    {
        const char* What;
        const char* Content; // null: no file
        QString Expected;
    };
    const Case Cases[] = {
        {"missing file", nullptr, "English"},
        {"missing section", "[Other]\nLanguage=German\n", "English"},
        {"missing key", "[Main]\nOther=German\n", "English"},
        {"empty value", "[Main]\nLanguage=\n", ""},
        {"value with blanks and case", "[main]\n language =  German  \n", "German"},
    };
    for (const Case& C : Cases) {
        QFile::remove(SettingsFile());
        if (C.Content)
            Write("Main.ini", C.Content);
        TLanguage Language("Lumidor");
        EXPECT_EQ(Language.ReadSetting(SettingsFile(), "Main", "Language"), C.Expected) << C.What;
    }
}
