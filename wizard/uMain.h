#pragma once

#include <QString>

#include <cstdint>
#include <memory>

#include "jobs/uJobBook.h"
#include "platform/DateTime.h"
#include "toolkit/Forms.h"

class QObject;
class TButton;
class TComboBox;
class TDateTimePicker;
class TGroupBox;
class TImage;
class TJobBook;
class TLabel;
class TLanguage;
class TListItem;
class TListView;
class TPageNote;
class TPageTab;
class TPanel;
class TRadioButton;

// The wizard window: a first page naming the next job due, a page that
// schedules a shutdown or restart, and a page that deletes jobs. Its look is
// the window description uMain.dfm; this class is what the window does.
class TfrmMain : public TForm
{
public:
    // Reads the window description, which ends with FormCreate.
    explicit TfrmMain(TComponent* AOwner = nullptr);
    ~TfrmMain() override;

    // The moment and the weekday of the last schedule computation.
    TDateTime ScheduleTime() const { return FScheduleTime; }
    uint8_t SelectedWeekDay() const { return FSelectedWeekDay; }

    // One of the wizard's four messages, titled with the current caption.
    void ShowInfo(const QString& Key, const QString& Default);

    void UpdateSchedule();
    void InitScheduleControls();

    // Fills the job list and the first page's next job due, dropping the
    // registry entries whose work item is gone.
    void RefreshJobList();
    // Whether a row of the same action carries Label.
    bool JobLabelExists(const QString& Label, bool IsShutdown) const;
    // Aborts a shutdown under way, then deletes the ticked jobs. True when any
    // row was ticked; AllDeleted is false when a work item could not be
    // deleted (its entry and row stay).
    bool DeleteTickedJobs(bool& AllDeleted);

    // Handlers named in the window description.
    void FormCreate(TObject* Sender);
    void FormDestroy(TObject* Sender);
    void btnBackClick(TObject* Sender);
    void btnNextClick(TObject* Sender);
    void btnCloseClick(TObject* Sender);
    void rbShutdownClick(TObject* Sender);
    void rbRestartClick(TObject* Sender);
    void rbAfterClick(TObject* Sender);
    void rbOrat1Click(TObject* Sender);
    void rbOrat2Click(TObject* Sender);
    void cbOptionChange(TObject* Sender);
    void cbOption2Change(TObject* Sender);
    void dtPickerChange(TObject* Sender);
    void DateTimePickerOnceChange(TObject* Sender);
    void DateTimePickerDailyChange(TObject* Sender);
    void lvViewItemChecked(TObject* Sender, TListItem* Item);

    // The controls of the description, found by name once it is read.
    TPanel* pnlTop = nullptr;
    TImage* imgTopBg = nullptr;
    TImage* imgLog = nullptr;
    TLabel* lbl_Title = nullptr;
    TLabel* lbl_Detail = nullptr;
    TPanel* pnlBottom = nullptr;
    TImage* Image2 = nullptr;
    TButton* btnBack = nullptr;
    TButton* btnNext = nullptr;
    TButton* btnClose = nullptr;
    TPageNote* pnMain = nullptr;
    TPageTab* ptMain = nullptr;
    TLabel* lbl_PreJob = nullptr;
    TLabel* lbl_Job = nullptr;
    TGroupBox* rgAction = nullptr;
    TPanel* Panel1 = nullptr;
    TImage* imgAdd = nullptr;
    TImage* imgDelete = nullptr;
    TRadioButton* rbCreate = nullptr;
    TRadioButton* rbDelete = nullptr;
    TPageTab* ptAdd = nullptr;
    TLabel* lbl_AddSchJob = nullptr;
    TLabel* lbl_AddJob = nullptr;
    TGroupBox* rgAddAction = nullptr;
    TPanel* Panel2 = nullptr;
    TRadioButton* rbShutdown = nullptr;
    TRadioButton* rbRestart = nullptr;
    TComboBox* cbOption = nullptr;
    TDateTimePicker* dtPicker = nullptr;
    TComboBox* cbOption2 = nullptr;
    TPanel* pnl1 = nullptr;
    TRadioButton* rbAfter = nullptr;
    TRadioButton* rbOrat1 = nullptr;
    TRadioButton* rbOrat2 = nullptr;
    TDateTimePicker* DateTimePickerOnce = nullptr;
    TDateTimePicker* DateTimePickerDaily = nullptr;
    TPageTab* ptDel = nullptr;
    TListView* lvView = nullptr;

    void Loaded() override;

private:
    void DefineHandlers();
    void FindControls();
    // The run-time text for Key, or Default when no language gives one.
    QString Text(const QString& Key, const QString& Default) const;

    // Finished on the add page and Delete on the delete page.
    void FinishedOnAddPage();
    void DeleteOnDeletePage();
    // The choice of the add page as its controls were at the last update.
    TJobChoice CurrentChoice() const;
    // The jobs as the rows show them.
    QList<TJob> ListedJobs() const;
    // What a screen reader says with each control within: the texts of the
    // page that the control's choice shapes or that it leads to.
    void DescribeWith(TWinControl* Within, const QString& Description);

    std::unique_ptr<TJobBook> JobBook;
    std::unique_ptr<TLanguage> Language;
    TDateTime FScheduleTime = 0;
    uint8_t FSelectedWeekDay = 0;
    // Reads the locale's formats again when the regional settings change.
    std::unique_ptr<QObject> FLocaleWatcher;
};

// Registers TfrmMain and the classes its description names; safe to call again.
void RegisteruMainUnit();
