#include "platform/RunTimeTexts.h"

#include "platform/AppFrame_New.h"
#include "platform/DateFormat.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class RunTimeTextsTest : public ::testing::Test
{
protected:
    void Write(const QString& Name, const QByteArray& Bytes)
    {
        const QString Path = Dir.path() + u'/' + Name;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(Path).path()));
        QFile File(Path);
        ASSERT_TRUE(File.open(QIODevice::WriteOnly));
        File.write(Bytes);
    }
    QString Folder() const { return Dir.path() + QStringLiteral("/lang"); }

    QTemporaryDir Dir;
};

QByteArray Utf16LeWithMark(const QString& Text)
{
    QByteArray Bytes("\xFF\xFE", 2);
    Bytes.append(reinterpret_cast<const char*>(Text.utf16()), Text.size() * 2);
    return Bytes;
}

struct SettingsReset
{
    ~SettingsReset() { RefreshFormatSettings(); }
};

} // namespace

TEST_F(RunTimeTextsTest, LanguageIsChosenAsTheWindowChoosesIt)
{
    Write("lang/English.lng", "[Lumidor_M]\nWho=English\nAbort=Abort\n");
    Write("lang/German.lng", Utf16LeWithMark(QStringLiteral("[Lumidor_M]\r\nWho=Deutsch\r\nAbort=Abbrechen\r\n")));
    Write("lang/French.lng", "[Lumidor_M]\nWho=Fran\xE7" "ais\n"); // Windows-1252 without a mark
    Write("lang/Folder.lng/x", "");                                 // a folder is no language file
    Write("lang/Nameless.lng", "[Other_M]\nWho=Other\n");           // no run-time section

    struct TCase
    {
        QString Name;
        QString Expected;
    } Cases[] = {
        {"German", "Deutsch"},
        {"gERMAN", "Deutsch"},
        {"French", QStringLiteral("Fran\u00E7ais")},
        {"Klingon", "English"},
        {"Folder", "English"},
        {"", "English"},
        {"Nameless", "<none>"},
    };
    for (const TCase& C : Cases)
        EXPECT_EQ(TRunTimeTexts::Load(Folder(), C.Name).Text("Who", "<none>"), C.Expected) << C.Name.toStdString();
    // A trailing separator on the folder changes nothing.
    EXPECT_EQ(TRunTimeTexts::Load(Folder() + u'/', "German").Text("Who", "<none>"), "Deutsch");
}

TEST_F(RunTimeTextsTest, WithoutEnglishEveryTextIsItsDefault)
{
    Write("lang/German.lng", "[Lumidor_M]\nWho=Deutsch\n");
    EXPECT_EQ(TRunTimeTexts::Load(Folder(), "Klingon").Text("Who", "<none>"), "<none>");
    EXPECT_EQ(TRunTimeTexts::Load(Dir.path() + "/missing", "German").Text("Who", "<none>"), "<none>");
    EXPECT_EQ(TRunTimeTexts().Text("Who", "<none>"), "<none>");
}

TEST_F(RunTimeTextsTest, KeysIgnoreTheCaseOfAToZOnly)
{
    Write("lang/English.lng",
        "[Lumidor_M]\n"
        "HeadsUp_Skip = Skip this time \n"
        "Empty=\n"
        "Twice=first\n"
        "TWICE=second\n"
        "nameless line\n"
        "Formula=a=b\n"
        "\xC4rger=x\n"
        "[Other_M]\n"
        "Foreign=x\n");
    const TRunTimeTexts Texts = TRunTimeTexts::Load(Folder(), "English");
    struct TCase
    {
        QString Key;
        QString Expected;
    } Cases[] = {
        {"HeadsUp_Skip", "Skip this time"},
        {"headsup_SKIP", "Skip this time"},
        {"Empty", ""},
        {"twice", "second"},
        {"Formula", "a=b"},
        {"Foreign", "<default>"},
        {"nameless line", "<default>"},
        {QStringLiteral("\u00C4rger"), "x"},
        {QStringLiteral("\u00E4rger"), "<default>"},
    };
    for (const TCase& C : Cases)
        EXPECT_EQ(Texts.Text(C.Key, "<default>"), C.Expected) << C.Key.toStdString();
}

TEST_F(RunTimeTextsTest, SuiteLanguageIsReadFromMainSection)
{
    Write("Main.ini", "[Main]\nLanguage = German \n");
    Write("Other.ini", "[Other]\nLanguage=German\n");
    EXPECT_EQ(ReadSuiteLanguage(Dir.path() + "/Main.ini"), "German");
    EXPECT_EQ(ReadSuiteLanguage(Dir.path() + "/Other.ini"), "English");
    EXPECT_EQ(ReadSuiteLanguage(Dir.path() + "/Missing.ini"), "English");
}

TEST(RunTimeTextsFolders, SettingsAndLanguageFolderAreTheWindows)
{
    const QByteArray Old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg");
    const TAppFrame Frame;
    EXPECT_EQ(SuiteSettingsFile(Frame), "/tmp/cfg/Zelvo/Corvane V8/Main.ini");
    EXPECT_EQ(LanguageFolderOf(Frame), Frame.ExePath + "Toolbox_Language");
    qputenv("XDG_CONFIG_HOME", Old);
}

TEST(RunTimeTextsTime, TimeOfDayFollowsTheShortTimeFormat)
{
    SettingsReset Reset;
    const QDateTime Moment(QDate(2026, 12, 9), QTime(21, 30, 15));
    struct TCase
    {
        QString Format;
        QString Expected;
    } Cases[] = {
        {"h:mm AMPM", "9:30 PM"},
        {"HH:mm", "21:30"},
        {"hh:nn:ss", "21:30:15"},
    };
    for (const TCase& C : Cases) {
        TFormatSettings Settings;
        Settings.ShortTimeFormat = C.Format;
        SetFormatSettings(Settings);
        EXPECT_EQ(ShortTimeText(Moment), C.Expected) << C.Format.toStdString();
    }
}
