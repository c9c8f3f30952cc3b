#pragma once

#include "toolkit/Controls.h"

enum TFormBorderStyle
{
    bsNone,
    bsSingle,
    bsSizeable,
    bsDialog,
    bsToolWindow,
    bsSizeToolWin
};
template <>
struct TEnumInfo<TFormBorderStyle>
{
    static constexpr std::array Names{"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"};
};

enum TBorderIcon
{
    biSystemMenu,
    biMinimize,
    biMaximize,
    biHelp
};
using TBorderIcons = TSet<TBorderIcon>;
template <>
struct TEnumInfo<TBorderIcon>
{
    static constexpr std::array Names{"biSystemMenu", "biMinimize", "biMaximize", "biHelp"};
};

enum TPosition
{
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter
};
template <>
struct TEnumInfo<TPosition>
{
    static constexpr std::array Names{"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
        "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"};
};

// A top-level window. Width and Height are the outer size, the client area
// lies inside a frame whose size follows BorderStyle. OnDestroy fires from
// BeforeDestruction: free a form with FreeComponent (or TOwnedPtr), or let
// its owner do it; a plain delete skips OnDestroy.
class TForm : public TWinControl
{
public:
    static constexpr TColor DefaultColor = clBtnFace;
    // A form is shown by the program, not by its description.
    static constexpr bool DefaultVisible = false;
    static constexpr TFormBorderStyle DefaultBorderStyle = bsSizeable;
    static constexpr TBorderIcons DefaultBorderIcons{biSystemMenu, biMinimize, biMaximize};
    static constexpr TPosition DefaultPosition = poDefaultPosOnly;

    explicit TForm(TComponent* AOwner);
    ~TForm() override;

    // Reads the window description (a path or ":/..." resource) into this
    // form, then fires OnCreate. Handlers named in it must be defined before.
    void LoadDescription(const QString& Source);
    // The same from text; FileName names it in messages.
    void LoadDescriptionText(const QString& Text, const QString& FileName);

    void SetClientWidth(int Value);
    void SetClientHeight(int Value);
    QRect ClientRect() const override;
    // The outer size is held within the constraints.
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle Value);
    TBorderIcons BorderIcons() const { return FBorderIcons; }
    void SetBorderIcons(TBorderIcons Value);
    TPosition Position() const { return FPosition; }
    void SetPosition(TPosition Value);
    bool DoubleBuffered() const { return FDoubleBuffered; }
    void SetDoubleBuffered(bool Value) { FDoubleBuffered = Value; }

    // Limits of the outer size; 0 is no limit.
    int MinWidth() const { return FMinWidth; }
    void SetMinWidth(int Value);
    int MaxWidth() const { return FMaxWidth; }
    void SetMaxWidth(int Value);
    int MinHeight() const { return FMinHeight; }
    void SetMinHeight(int Value);
    int MaxHeight() const { return FMaxHeight; }
    void SetMaxHeight(int Value);

    // The frame around the client area for the border style.
    QSize FrameSize() const;

    void Close();
    // What Escape does: clicks the visible, enabled button whose Cancel is
    // set; false when there is none.
    bool PressCancel();

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;

    // A window to a screen reader, named by its caption.
    QAccessible::Role AccessibleRole() const override;

    void BeforeDestruction() override;
    void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;

    static TPropList Published();

protected:
    void TextChanged() override;
    void VisibleChanged() override;
    void BoundsChanged() override;

private:
    friend class TFormWidget;
    void DoCreate();
    void DoDestroy();
    void ApplyWindowFlags();
    void ApplySizeLimits();
    // A limit of the outer size changed: the size is held within it at once.
    void SetConstraint(int& Limit, int Value);
    void WidgetClosed();

    TFormBorderStyle FBorderStyle = DefaultBorderStyle;
    TBorderIcons FBorderIcons = DefaultBorderIcons;
    TPosition FPosition = DefaultPosition;
    bool FDoubleBuffered = false;
    int FMinWidth = 0;
    int FMaxWidth = 0;
    int FMinHeight = 0;
    int FMaxHeight = 0;
    bool FDestroyed = false;
    bool FPlaced = false;
};

// The application object: the start-hook slot, the top-level components in
// the order they registered (it owns them), the main window, the message loop
// and the handler of unexpected errors.
class TApplication : public TComponent
{
public:
    using TStartHook = void (*)();

    explicit TApplication(TComponent* AOwner = nullptr);
    ~TApplication() override;

    // The start-hook slot: a unit saves the content, puts its own procedure
    // in and calls the saved one when done, so that hooks form a chain.
    static TStartHook InitProc;
    // Runs the start hook once, if set.
    void Initialize();

    // Creates a form owned by the application; the first one becomes the main
    // window. Reference is set before the form's constructor runs.
    template <class T>
    T* CreateForm(T*& Reference)
    {
        Reference = nullptr;
        T* Form = new T(this);
        Reference = Form;
        if (!FMainForm)
            FMainForm = Form;
        return Form;
    }

    TForm* MainForm() const { return FMainForm; }

    // Shows the main window and runs the message loop until it is closed or
    // Terminate is called. Returns at once when already terminated.
    void Run();
    void Terminate();
    bool Terminated() const { return FTerminated; }

    // The handler of unexpected errors, installed for GuardedCall by the
    // first application object: appends a report to ErrorLogPath(), shows
    // the error dialog, and either continues or closes the program.
    void HandleException(const QString& ClassName, const QString& Message);
    // The file the reports go to, as the program set it at start; empty (no
    // report written) until then.
    static QString ErrorLogPath();
    static void SetErrorLogPath(const QString& FileName);

    // A message box with the main window as owner.
    int MessageBox(const QString& Text, const QString& Caption, unsigned Flags);

    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    TForm* FMainForm = nullptr;
    bool FTerminated = false;
    bool FInitialized = false;
    bool FRunning = false;
};

// The application object of the process; null until one is made.
extern TApplication* Application;

void RegisterFormsUnit();

// Registers every class of the toolkit; safe to call more than once. The
// application object calls it when made.
void RegisterToolkitClasses();
