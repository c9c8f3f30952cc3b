#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include "TestForm.h"
#include "toolkit/Dialogs.h"
#include "platform/UserFolders.h"

namespace {

QStringList HookCalls;
TApplication::TStartHook PreviousHook = nullptr;

void FirstHook()
{
    HookCalls << QStringLiteral("first");
}

void SecondHook()
{
    HookCalls << QStringLiteral("second");
    if (PreviousHook)
        PreviousHook();
}

// Points XDG_STATE_HOME at a temporary folder and puts the dialog and the
// message box seams in place for one test.
class FormsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RegisterTestClasses();
        FOldState = qgetenv("XDG_STATE_HOME");
        FHadState = qEnvironmentVariableIsSet("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", FState.path().toUtf8());
        TApplication::SetErrorLogPath(UserFolders::ErrorLog());
        SetErrorDialogFunc([this](const QString& Title, const QString& Text) {
            Dialogs << Title + u'|' + Text;
            return Answer;
        });
        SetMessageBoxFunc([this](TWinControl* Owner, const QString& Text, const QString& Caption, unsigned Flags) {
            Boxes << QStringLiteral("%1|%2|%3|%4").arg(Owner ? Owner->Name() : QStringLiteral("-"), Text, Caption).arg(Flags, 0, 16);
            return IDOK;
        });
    }
    void TearDown() override
    {
        SetErrorDialogFunc({});
        SetMessageBoxFunc({});
        TApplication::SetErrorLogPath(QString());
        if (FHadState)
            qputenv("XDG_STATE_HOME", FOldState);
        else
            qunsetenv("XDG_STATE_HOME");
        TApplication::InitProc = nullptr;
    }

    QString ReadLog() const
    {
        QFile F(FState.path() + QStringLiteral("/lumidor/errors.log"));
        return F.open(QIODevice::ReadOnly) ? QString::fromUtf8(F.readAll()) : QString();
    }

    QTemporaryDir FState;
    QByteArray FOldState;
    bool FHadState = false;
    QStringList Dialogs;
    QStringList Boxes;
    TErrorAction Answer = eaContinue;
};

// A window whose button handler fails.
class TFailingForm : public TForm
{
public:
    explicit TFailingForm(TComponent* AOwner) : TForm(AOwner)
    {
        SetName(QStringLiteral("frmFail"));
        SetCaption(QStringLiteral("Zelvo Lumidor"));
        Button = new TButton(this);
        Button->SetParent(this);
        Button->OnClick = TNotifyEvent([this](TObject*) {
            ++Clicks;
            throw EIniFileException(QStringLiteral("Unable to write to /x/Lumidor.ini"));
        });
    }
    void Click() { static_cast<QAbstractButton*>(Button->Widget())->click(); }
    TButton* Button;
    int Clicks = 0;
};

} // namespace

TEST_F(FormsTest, StartHooksFormAChainThatInitializeRunsOnce)
{
    HookCalls.clear();
    TApplication::InitProc = &FirstHook;
    PreviousHook = TApplication::InitProc;
    TApplication::InitProc = &SecondHook;
    TApplication App;
    App.Initialize();
    App.Initialize();
    EXPECT_EQ(HookCalls, (QStringList{"second", "first"}));
}

TEST_F(FormsTest, ApplicationOwnsFormsInOrderAndTheFirstIsTheMainWindow)
{
    QStringList Destroyed;
    {
        TApplication App;
        EXPECT_EQ(Application, &App);
        TTestForm* First = nullptr;
        TTestForm* Second = nullptr;
        App.CreateForm(First);
        App.CreateForm(Second);
        First->DestroyLog = &Destroyed;
        Second->DestroyLog = &Destroyed;
        First->OnDestroy = TNotifyEvent([&](TObject*) { Destroyed << QStringLiteral("first"); });
        ASSERT_EQ(App.ComponentCount(), 2);
        EXPECT_EQ(App.Components(0), First);
        EXPECT_EQ(App.Components(1), Second);
        EXPECT_EQ(App.MainForm(), First);
        FreeComponent(First);
        EXPECT_EQ(App.MainForm(), nullptr);
        EXPECT_EQ(App.ComponentCount(), 1);
        Second->OnDestroy = TNotifyEvent([&](TObject*) { Destroyed << QStringLiteral("second"); });
    }
    // Each form's OnDestroy ran once, the second by the application's end.
    EXPECT_EQ(Destroyed, (QStringList{"first", "second"}));
    EXPECT_EQ(Application, nullptr);
}

TEST_F(FormsTest, ErrorInAHandlerIsReportedLoggedAndTheProgramGoesOn)
{
    TApplication App;
    TFailingForm* Form = nullptr;
    App.CreateForm(Form);
    Form->Click();
    Form->Click();
    EXPECT_EQ(Form->Clicks, 2);
    ASSERT_EQ(Dialogs.size(), 2);
    EXPECT_EQ(Dialogs[0], QStringLiteral("Zelvo Lumidor|Unable to write to /x/Lumidor.ini"));
    const QString Log = ReadLog();
    EXPECT_EQ(Log.count(QStringLiteral("EIniFileException: Unable to write to /x/Lumidor.ini")), 2) << Log.toStdString();
    const QFile::Permissions Folder = QFileInfo(FState.path() + QStringLiteral("/lumidor")).permissions();
    EXPECT_FALSE(Folder & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther));
    EXPECT_FALSE(App.Terminated());
}

// The program says where reports go; until it has, none is written anywhere.
TEST_F(FormsTest, ErrorBeforeTheReportFileIsSetIsShownAndNotWritten)
{
    TApplication::SetErrorLogPath(QString());
    const QString Before = QDir::currentPath();
    const QStringList Entries = QDir(Before).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    TApplication App;
    TFailingForm* Form = nullptr;
    App.CreateForm(Form);
    Form->Click();
    EXPECT_EQ(Dialogs.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(FState.path() + QStringLiteral("/lumidor")));
    EXPECT_EQ(QDir(Before).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), Entries);
    EXPECT_FALSE(App.Terminated());
}

TEST_F(FormsTest, CloseProgramInTheErrorDialogEndsTheMessageLoop)
{
    TApplication App;
    TFailingForm* Form = nullptr;
    App.CreateForm(Form);
    Answer = eaClose;
    QTimer::singleShot(0, [Form] { Form->Click(); });
    // Without the dialog's answer the loop would run until the guard below.
    bool TimedOut = false;
    QTimer::singleShot(5000, [&] {
        TimedOut = true;
        QCoreApplication::exit(1);
    });
    App.Run();
    EXPECT_FALSE(TimedOut);
    EXPECT_TRUE(App.Terminated());
    EXPECT_EQ(Dialogs.size(), 1);
    // A terminated application does not run its loop again.
    App.Run();
}

TEST_F(FormsTest, ErrorInTheCreationHandlerIsShownAndTheWindowStillExists)
{
    TApplication App;
    TOwnedPtr<TTestForm> Form(new TTestForm(nullptr, false));
    Form->DefineHandler(QStringLiteral("FormCreate"), std::function<void(TObject*)>([](TObject*) { throw EConvertError(QStringLiteral("bad date")); }));
    Form->LoadDescriptionText(QStringLiteral("object frmTest: TTestForm\n  Caption = 'T'\n  OnCreate = FormCreate\nend\n"), QStringLiteral("t.dfm"));
    ASSERT_EQ(Dialogs.size(), 1);
    EXPECT_TRUE(Dialogs[0].endsWith(QStringLiteral("|bad date")));
    EXPECT_EQ(Form->Caption(), QStringLiteral("T"));
}

TEST_F(FormsTest, MessageBoxGoesThroughTheReplaceableSeam)
{
    TTestForm Form(nullptr);
    Form.SetName(QStringLiteral("frmMain"));
    EXPECT_EQ(MessageBox(&Form, QStringLiteral("Added successfully!"), QStringLiteral("Zelvo Lumidor"), MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(Boxes, QStringList{QStringLiteral("frmMain|Added successfully!|Zelvo Lumidor|40")});
}

TEST_F(FormsTest, FormKeepsItsClientSizeAndWritesNoOuterSize)
{
    auto Form = TOwnedPtr<TTestForm>(new TTestForm(nullptr));
    Form->LoadDescriptionText(TestWindowText(), QStringLiteral("window.dfm"));
    EXPECT_EQ(Form->Widget()->size(), QSize(524, 350));
    EXPECT_EQ(Form->Width(), 530);
    EXPECT_EQ(Form->Height(), 378);
    EXPECT_EQ(Form->Widget()->minimumSize(), QSize(524, 350));
    EXPECT_EQ(Form->Widget()->maximumSize(), QSize(524, 350));
    EXPECT_FALSE(Form->Widget()->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(Form->Widget()->windowTitle(), QStringLiteral("Zelvo Lumidor"));
    EXPECT_FALSE(Form->Visible());
    const QString Written = TWriter::WriteRootComponent(Form.get());
    EXPECT_FALSE(Written.contains(QStringLiteral("\n  Width =")));
    EXPECT_FALSE(Written.contains(QStringLiteral("\n  Height =")));
}

TEST_F(FormsTest, AcceleratorKeyIsOfferedToTheControls)
{
    class TAccel : public TGraphicControl
    {
    public:
        using TGraphicControl::TGraphicControl;
        bool DialogChar(QChar Key) override
        {
            Keys += Key;
            return Key == u'x';
        }
        QString Keys;
    };
    TTestForm Form(nullptr);
    auto* Panel = new TPanel(&Form);
    Panel->SetParent(&Form);
    auto* A = new TAccel(&Form);
    A->SetParent(Panel);
    EXPECT_FALSE(Form.DialogChar(u'a'));
    EXPECT_TRUE(Form.DialogChar(u'x'));
    EXPECT_EQ(A->Keys, QStringLiteral("ax"));
}

TEST_F(FormsTest, OuterSizeIsHeldWithinTheConstraints)
{
    TTestForm Form(nullptr);
    Form.SetBorderStyle(bsSizeable);
    Form.SetMinWidth(530);
    Form.SetMaxWidth(530);
    Form.SetMinHeight(378);
    Form.SetMaxHeight(382);
    Form.SetBounds(0, 0, 600, 300);
    EXPECT_EQ(Form.Width(), 530);
    EXPECT_EQ(Form.Height(), 378);
    Form.SetHeight(381);
    EXPECT_EQ(Form.Height(), 381);
    Form.SetHeight(383);
    EXPECT_EQ(Form.Height(), 382);
}
