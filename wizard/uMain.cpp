#include "wizard/uMain.h"

#include <QEvent>
#include <QObject>
#include <QWidget>

#include <iterator>

#include "controls/PPageNote.h"
#include "controls/TLabel_Transparent.h"
#include "i18n/uLanguage.h"
#include "platform/AppFrame_New.h"
#include "platform/DateFormat.h"
#include "resources/pictures/Pictures.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Dialogs.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/StdCtrls.h"

namespace {

const QString NotAvailable = QStringLiteral("N/A");
constexpr int ShutdownGroup = 0;
constexpr int RestartGroup = 1;

// Minutes of the delay list, by item index.
constexpr int DelayMinutes[] = {1, 10, 20, 30};

class TLocaleWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::LocaleChange)
            RefreshFormatSettings();
        return QObject::eventFilter(Watched, Event);
    }
};

template <class T>
void Find(const TComponent& Root, const char* Name, T*& Field)
{
    Field = dynamic_cast<T*>(Root.FindComponent(QString::fromLatin1(Name)));
    if (!Field)
        throw EReadError(QStringLiteral("The window description of %1 lacks %2").arg(Root.Name(), QString::fromLatin1(Name)));
}

// The calendar date of one value with the time of day of another, to the second.
TDateTime CombineDateAndTime(TDateTime DatePart, TDateTime TimePart)
{
    const TDateTimeFields D = DateTime::Decode(DatePart);
    const TDateTimeFields T = DateTime::Decode(TimePart);
    return DateTime::EncodeDate(D.Year, D.Month, D.Day) + DateTime::EncodeTime(T.Hour, T.Minute, T.Second);
}

} // namespace

void RegisteruMainUnit()
{
    RegisterToolkitClasses();
    RegisterPPageNoteUnit();
    RegisterTLabel_TransparentUnit();
    RegisterClass<TfrmMain, TForm>(QStringLiteral("TfrmMain"));
}

TfrmMain::TfrmMain(TComponent* AOwner) : TForm(AOwner)
{
    Q_INIT_RESOURCE(wizard);
    Pictures::Register();
    RegisteruMainUnit();
    DefineHandlers();
    FLocaleWatcher = std::make_unique<TLocaleWatcher>();
    Widget()->installEventFilter(FLocaleWatcher.get());
    LoadDescription(QStringLiteral(":/wizard/uMain.dfm"));
}

TfrmMain::~TfrmMain()
{
    // OnDestroy must see this window whole, also when it is deleted directly.
    BeforeDestruction();
    if (Widget())
        Widget()->removeEventFilter(FLocaleWatcher.get());
}

void TfrmMain::DefineHandlers()
{
    DefineHandler(QStringLiteral("FormCreate"), &TfrmMain::FormCreate);
    DefineHandler(QStringLiteral("FormDestroy"), &TfrmMain::FormDestroy);
    DefineHandler(QStringLiteral("btnBackClick"), &TfrmMain::btnBackClick);
    DefineHandler(QStringLiteral("btnNextClick"), &TfrmMain::btnNextClick);
    DefineHandler(QStringLiteral("btnCloseClick"), &TfrmMain::btnCloseClick);
    DefineHandler(QStringLiteral("rbShutdownClick"), &TfrmMain::rbShutdownClick);
    DefineHandler(QStringLiteral("rbRestartClick"), &TfrmMain::rbRestartClick);
    DefineHandler(QStringLiteral("rbAfterClick"), &TfrmMain::rbAfterClick);
    DefineHandler(QStringLiteral("rbOrat1Click"), &TfrmMain::rbOrat1Click);
    DefineHandler(QStringLiteral("rbOrat2Click"), &TfrmMain::rbOrat2Click);
    DefineHandler(QStringLiteral("cbOptionChange"), &TfrmMain::cbOptionChange);
    DefineHandler(QStringLiteral("cbOption2Change"), &TfrmMain::cbOption2Change);
    DefineHandler(QStringLiteral("dtPickerChange"), &TfrmMain::dtPickerChange);
    DefineHandler(QStringLiteral("DateTimePickerOnceChange"), &TfrmMain::DateTimePickerOnceChange);
    DefineHandler(QStringLiteral("DateTimePickerDailyChange"), &TfrmMain::DateTimePickerDailyChange);
    DefineHandler(QStringLiteral("lvViewItemChecked"), &TfrmMain::lvViewItemChecked);
}

void TfrmMain::FindControls()
{
    Find(*this, "pnlTop", pnlTop);
    Find(*this, "imgTopBg", imgTopBg);
    Find(*this, "imgLog", imgLog);
    Find(*this, "lbl_Title", lbl_Title);
    Find(*this, "lbl_Detail", lbl_Detail);
    Find(*this, "pnlBottom", pnlBottom);
    Find(*this, "Image2", Image2);
    Find(*this, "btnBack", btnBack);
    Find(*this, "btnNext", btnNext);
    Find(*this, "btnClose", btnClose);
    Find(*this, "pnMain", pnMain);
    Find(*this, "ptMain", ptMain);
    Find(*this, "lbl_PreJob", lbl_PreJob);
    Find(*this, "lbl_Job", lbl_Job);
    Find(*this, "rgAction", rgAction);
    Find(*this, "Panel1", Panel1);
    Find(*this, "imgAdd", imgAdd);
    Find(*this, "imgDelete", imgDelete);
    Find(*this, "rbCreate", rbCreate);
    Find(*this, "rbDelete", rbDelete);
    Find(*this, "ptAdd", ptAdd);
    Find(*this, "lbl_AddSchJob", lbl_AddSchJob);
    Find(*this, "lbl_AddJob", lbl_AddJob);
    Find(*this, "rgAddAction", rgAddAction);
    Find(*this, "Panel2", Panel2);
    Find(*this, "rbShutdown", rbShutdown);
    Find(*this, "rbRestart", rbRestart);
    Find(*this, "cbOption", cbOption);
    Find(*this, "dtPicker", dtPicker);
    Find(*this, "cbOption2", cbOption2);
    Find(*this, "pnl1", pnl1);
    Find(*this, "rbAfter", rbAfter);
    Find(*this, "rbOrat1", rbOrat1);
    Find(*this, "rbOrat2", rbOrat2);
    Find(*this, "DateTimePickerOnce", DateTimePickerOnce);
    Find(*this, "DateTimePickerDaily", DateTimePickerDaily);
    Find(*this, "ptDel", ptDel);
    Find(*this, "lvView", lvView);
}

QString TfrmMain::Text(const QString& Key, const QString& Default) const
{
    return Language ? Language->GetText(Key, Default) : Default;
}

// ---------------------------------------------------------------------------
// Creation and destruction

void TfrmMain::Loaded()
{
    TForm::Loaded();
    FindControls();
}

void TfrmMain::FormCreate(TObject* Sender)
{
    (void)Sender;
    // The folders object serves the catalogue only; the book finds the registry itself.
    {
        const TAppFrame AppFrame;
        Language = std::make_unique<TLanguage>(QStringLiteral("Lumidor"));
        Language->ScanLanguages(LanguageFolderOf(AppFrame));
        const QString Chosen =
            Language->ReadSetting(SuiteSettingsFile(AppFrame), QStringLiteral("Main"), QStringLiteral("Language"));
        Language->SelectLanguage(Chosen);
        Language->TranslateApplication();
    }
    JobBook = std::make_unique<TJobBook>(TJobBook::DefaultRegistryFile());
    InitScheduleControls();
}

void TfrmMain::FormDestroy(TObject* Sender)
{
    (void)Sender;
    // reset() clears each reference before its object goes.
    JobBook.reset();
    Language.reset();
}

// ---------------------------------------------------------------------------
// Navigation

void TfrmMain::btnNextClick(TObject* Sender)
{
    (void)Sender;
    TPageTab* Page = pnMain->ActivePage();
    if (Page == ptMain) {
        if (rbCreate->Checked()) {
            rbShutdown->SetChecked(true);
            rbAfter->SetChecked(true);
            pnMain->SetActivePage(ptAdd);
            lbl_AddJob->SetCaption(NotAvailable);
            cbOption->SetItemIndex(0);
            cbOption2->SetItemIndex(0);
            cbOptionChange(cbOption);
            btnBack->SetEnabled(true);
            btnNext->SetCaption(Text(QStringLiteral("Finished"), QStringLiteral("Finished")));
            dtPicker->SetEnabled(false);
            DateTimePickerOnce->SetEnabled(false);
            DateTimePickerDaily->SetEnabled(false);
            ptAdd->SelectFirst();
        } else if (rbDelete->Checked()) {
            pnMain->SetActivePage(ptDel);
            // Into the list before Next, which has the focus, is disabled.
            ptDel->SelectFirst();
            btnNext->SetEnabled(false);
            btnNext->SetCaption(Text(QStringLiteral("Delete"), QStringLiteral("Delete")));
            btnBack->SetEnabled(true);
        }
    } else if (Page == ptAdd) {
        FinishedOnAddPage();
    } else if (Page == ptDel) {
        DeleteOnDeletePage();
    }
}

void TfrmMain::btnBackClick(TObject* Sender)
{
    (void)Sender;
    // The page goes first, so that the row handler ignores the cleared ticks;
    // the focus before Back, which may have it, is disabled.
    pnMain->SetActivePage(ptMain);
    ptMain->SelectFirst();
    btnBack->SetEnabled(false);
    btnNext->SetEnabled(true);
    btnNext->SetCaption(Text(QStringLiteral("next"), QStringLiteral("Next >")));
    TListItems& Rows = lvView->Items();
    for (int I = 0; I < Rows.Count(); ++I)
        Rows[I]->SetChecked(false);
}

void TfrmMain::btnCloseClick(TObject* Sender)
{
    (void)Sender;
    Close();
}

void TfrmMain::rbShutdownClick(TObject* Sender)
{
    (void)Sender;
    UpdateSchedule();
    btnNext->SetEnabled(true);
}

void TfrmMain::rbRestartClick(TObject* Sender)
{
    (void)Sender;
    UpdateSchedule();
    btnNext->SetEnabled(true);
}

void TfrmMain::cbOptionChange(TObject* Sender)
{
    (void)Sender;
    UpdateSchedule();
    btnNext->SetEnabled(true);
}

void TfrmMain::rbAfterClick(TObject* Sender)
{
    (void)Sender;
    cbOption->SetEnabled(true);
    dtPicker->SetEnabled(false);
    DateTimePickerOnce->SetEnabled(false);
    cbOption2->SetEnabled(false);
    DateTimePickerDaily->SetEnabled(false);
    UpdateSchedule();
}

void TfrmMain::rbOrat1Click(TObject* Sender)
{
    (void)Sender;
    dtPicker->SetEnabled(true);
    DateTimePickerOnce->SetEnabled(true);
    cbOption->SetEnabled(false);
    cbOption2->SetEnabled(false);
    DateTimePickerDaily->SetEnabled(false);
    UpdateSchedule();
}

void TfrmMain::rbOrat2Click(TObject* Sender)
{
    (void)Sender;
    cbOption2->SetEnabled(true);
    DateTimePickerDaily->SetEnabled(true);
    cbOption->SetEnabled(false);
    dtPicker->SetEnabled(false);
    DateTimePickerOnce->SetEnabled(false);
    UpdateSchedule();
}

void TfrmMain::lvViewItemChecked(TObject* Sender, TListItem* Item)
{
    (void)Sender;
    (void)Item;
    if (pnMain->ActivePage() != ptDel)
        return;
    const TListItems& Rows = lvView->Items();
    for (int I = 0; I < Rows.Count(); ++I) {
        if (Rows[I]->Checked()) {
            btnNext->SetEnabled(true);
            return;
        }
        btnNext->SetEnabled(false);
    }
}

void TfrmMain::ShowInfo(const QString& Key, const QString& Default)
{
    (void)MessageBox(this, Text(Key, Default), Caption(), MB_OK | MB_ICONINFORMATION);
}

// ---------------------------------------------------------------------------
// Schedule time and preview

void TfrmMain::UpdateSchedule()
{
    FScheduleTime = DateTime::Now();
    if (rbAfter->Checked()) {
        const int Index = cbOption->ItemIndex();
        if (Index >= 0 && Index < int(std::size(DelayMinutes)))
            FScheduleTime = DateTime::IncMinute(FScheduleTime, DelayMinutes[Index]);
    } else if (rbOrat1->Checked()) {
        FScheduleTime = CombineDateAndTime(dtPicker->DateTime(), DateTimePickerOnce->DateTime());
    } else if (rbOrat2->Checked()) {
        FScheduleTime = CombineDateAndTime(dtPicker->DateTime(), DateTimePickerDaily->DateTime());
    }

    TJobTexts Texts;
    Texts.ShutdownPrefix = Text(QStringLiteral("Shutdown_at"), Texts.ShutdownPrefix);
    Texts.RestartPrefix = Text(QStringLiteral("Restart_at"), Texts.RestartPrefix);
    Texts.DayNames = cbOption2->Items();
    // The day shown is the one in the list, also before any weekday was chosen.
    TJobChoice Choice = CurrentChoice();
    if (Choice.Repeat == TJobRepeat::Weekly)
        Choice.WeekDay = uint8_t(cbOption2->ItemIndex() - 1);
    lbl_AddJob->SetCaption(TJobBook::Label(Choice, Texts));
    DescribeWith(Panel2, lbl_AddSchJob->AccessibleName() + u' ' + lbl_AddJob->AccessibleName());
}

void TfrmMain::cbOption2Change(TObject* Sender)
{
    (void)Sender;
    const int Index = cbOption2->ItemIndex();
    // "Everyday" keeps the last weekday; it is not used then.
    if (Index >= 1 && Index <= 7)
        FSelectedWeekDay = uint8_t(Index - 1);
    UpdateSchedule();
}

void TfrmMain::dtPickerChange(TObject* Sender)
{
    (void)Sender;
    UpdateSchedule();
}

void TfrmMain::DateTimePickerOnceChange(TObject* Sender)
{
    (void)Sender;
    UpdateSchedule();
}

void TfrmMain::DateTimePickerDailyChange(TObject* Sender)
{
    (void)Sender;
    UpdateSchedule();
}

void TfrmMain::InitScheduleControls()
{
    const TDateTime Now = DateTime::Now();
    dtPicker->SetDate(Now);
    DateTimePickerOnce->SetTime(Now);
    DateTimePickerDaily->SetTime(Now);
    RefreshJobList();
}

// ---------------------------------------------------------------------------
// Adding, listing and deleting jobs

void TfrmMain::FinishedOnAddPage()
{
    const QList<TJob> Listed = ListedJobs();
    QString Name;
    switch (JobBook->Add(CurrentChoice(), lbl_AddJob->Caption(), &Listed, Name)) {
    case TJobResult::Exists:
        ShowInfo(QStringLiteral("Scheduled_Exists"), QStringLiteral("Scheduled task already exists!"));
        return;
    case TJobResult::Passed:
        ShowInfo(QStringLiteral("time_less_than"), QStringLiteral("Please set up a valid schedule time!"));
        return;
    // Nothing will run, so nothing is recorded and the choice stays for another try.
    case TJobResult::NameTaken:
    case TJobResult::Failed:
        ShowInfo(QStringLiteral("Add_Failed"), QStringLiteral("The scheduled task could not be created!"));
        return;
    case TJobResult::Done:
        break;
    }
    ShowInfo(QStringLiteral("Added_Succ"), QStringLiteral("Added successfully!"));
    RefreshJobList();
    const TDateTime Now = DateTime::Now();
    dtPicker->SetDateTime(Now);
    DateTimePickerOnce->SetDateTime(Now);
    DateTimePickerDaily->SetDateTime(Now);
    btnBackClick(btnBack);
}

TJobChoice TfrmMain::CurrentChoice() const
{
    TJobChoice Choice;
    Choice.Kind = rbShutdown->Checked() ? TJobKind::Shutdown : TJobKind::Restart;
    if (rbOrat2->Checked())
        Choice.Repeat = cbOption2->ItemIndex() == 0 ? TJobRepeat::Daily : TJobRepeat::Weekly;
    Choice.Moment = FScheduleTime;
    Choice.WeekDay = FSelectedWeekDay;
    return Choice;
}

QList<TJob> TfrmMain::ListedJobs() const
{
    QList<TJob> Jobs;
    const TListItems& Rows = lvView->Items();
    for (int I = 0; I < Rows.Count(); ++I) {
        TJob Job;
        Job.Name = Rows[I]->SubItems().value(0);
        Job.Label = Rows[I]->Caption();
        Job.Kind = Rows[I]->GroupID() == RestartGroup ? TJobKind::Restart : TJobKind::Shutdown;
        Jobs.append(Job);
    }
    return Jobs;
}

bool TfrmMain::JobLabelExists(const QString& Label, bool IsShutdown) const
{
    return TJobBook::LabelExists(ListedJobs(), Label, IsShutdown ? TJobKind::Shutdown : TJobKind::Restart);
}

void TfrmMain::DeleteOnDeletePage()
{
    bool AllDeleted = true;
    if (!DeleteTickedJobs(AllDeleted))
        return;
    if (AllDeleted)
        ShowInfo(QStringLiteral("Deleted_Succ"), QStringLiteral("Deleted successfully!"));
    else
        ShowInfo(QStringLiteral("Delete_Failed"), QStringLiteral("The scheduled task could not be deleted!"));
    RefreshJobList();
    btnBackClick(btnBack);
}

bool TfrmMain::DeleteTickedJobs(bool& AllDeleted)
{
    (void)TJobBook::AbortCountdown();
    bool AnyTicked = false;
    AllDeleted = true;
    TListItems& Rows = lvView->Items();
    const QList<TJob> Jobs = ListedJobs();
    for (int I = Rows.Count() - 1; I >= 0; --I) {
        if (!Rows[I]->Checked())
            continue;
        AnyTicked = true;
        // A job still with the scheduler keeps its entry and row: it will still run.
        if (JobBook->Delete(Jobs[I]) != TJobResult::Done) {
            AllDeleted = false;
            continue;
        }
        Rows.Delete(I);
    }
    return AnyTicked;
}

void TfrmMain::RefreshJobList()
{
    const TDateTime Now = DateTime::Now();
    lbl_Job->SetCaption(NotAvailable);
    lvView->Items().Clear();
    const QList<TJob> Jobs = JobBook->List();
    for (const TJob& Job : Jobs) {
        TListItem* Row = lvView->Items().Add();
        Row->SetCaption(Job.Label);
        Row->SetSubItems({Job.Name});
        Row->SetGroupID(Job.Kind == TJobKind::Shutdown ? ShutdownGroup : RestartGroup);
    }
    const int Next = TJobBook::NextJob(Jobs, Now);
    if (Next >= 0)
        lbl_Job->SetCaption(Jobs[Next].Label);

    const QString Due = lbl_PreJob->AccessibleName() + u' ' + lbl_Job->AccessibleName();
    SetAccessibleDescription(lbl_Detail->AccessibleName() + u' ' + Due);
    DescribeWith(Panel1, Due);
    lvView->SetAccessibleDescription(Jobs.isEmpty()
            ? Text(QStringLiteral("Listed_None"), QStringLiteral("The list holds no scheduled task."))
            : Text(QStringLiteral("Listed_Jobs"), QStringLiteral("Scheduled tasks in the list: %1")).arg(Jobs.size()));
}

void TfrmMain::DescribeWith(TWinControl* Within, const QString& Description)
{
    // A panel passes the description on to the controls that take the focus.
    for (int I = 0; I < Within->ControlCount(); ++I)
        if (auto* C = dynamic_cast<TWinControl*>(Within->Controls(I))) {
            if (C->ControlCount() > 0)
                DescribeWith(C, Description);
            else
                C->SetAccessibleDescription(Description);
        }
}
