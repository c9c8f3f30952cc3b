#include "toolkit/Forms.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScreen>

#include "toolkit/ComCtrls.h"
#include "toolkit/Dialogs.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/StdCtrls.h"

TApplication* Application = nullptr;
TApplication::TStartHook TApplication::InitProc = nullptr;

// The top-level window of a form.
class TFormWidget : public QWidget
{
public:
    explicit TFormWidget(TForm* Owner) : FOwner(Owner) { setAutoFillBackground(true); }

protected:
    void resizeEvent(QResizeEvent* E) override
    {
        QWidget::resizeEvent(E);
        const QSize Frame = FOwner->FrameSize();
        const QSize Client = E->size();
        if (Client.width() != FOwner->ClientWidth() || Client.height() != FOwner->ClientHeight())
            GuardedCall([&] { FOwner->SetBounds(FOwner->Left(), FOwner->Top(), Client.width() + Frame.width(), Client.height() + Frame.height()); });
    }
    void closeEvent(QCloseEvent* E) override
    {
        QWidget::closeEvent(E);
        GuardedCall([&] { FOwner->WidgetClosed(); });
    }
    void keyPressEvent(QKeyEvent* E) override
    {
        // Keys nobody took are offered to the controls as accelerators;
        // Escape presses the cancel button.
        const QString Text = E->text();
        bool Handled = false;
        if (E->key() == Qt::Key_Escape && E->modifiers() == Qt::NoModifier)
            GuardedCall([&] { Handled = FOwner->PressCancel(); });
        else if (Text.size() == 1 && Text[0].isPrint())
            GuardedCall([&] { Handled = FOwner->DialogChar(Text[0]); });
        if (Handled)
            E->accept();
        else
            QWidget::keyPressEvent(E);
    }

private:
    TForm* FOwner;
};

// ---------------------------------------------------------------------------
// TForm

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner, new TFormWidget(this))
{
    SetControlStyle(ControlStyle() | csAcceptsControls);
    SetVisible(DefaultVisible);
    SetColor(DefaultColor);
    ApplyWindowFlags();
}

TForm::~TForm()
{
    // OnDestroy ran in BeforeDestruction, if at all: by now the derived
    // form whose handler it names is gone.
    if (Application && Application->MainForm() == this)
        Application->Notification(this, opRemove);
}

void TForm::LoadDescription(const QString& Source)
{
    ReadComponentRes(Source, this);
    DoCreate();
}

void TForm::LoadDescriptionText(const QString& Text, const QString& FileName)
{
    ReadComponentText(Text, FileName, this);
    DoCreate();
}

QAccessible::Role TForm::AccessibleRole() const
{
    return QAccessible::Window;
}

bool TForm::PressCancel()
{
    std::function<TButton*(const TWinControl*)> Find = [&Find](const TWinControl* Parent) -> TButton* {
        for (int I = 0; I < Parent->ControlCount(); ++I) {
            TControl* C = Parent->Controls(I);
            if (auto* B = dynamic_cast<TButton*>(C); B && B->Cancel() && B->CanFocus())
                return B;
            if (auto* W = dynamic_cast<TWinControl*>(C); W && W->Visible())
                if (TButton* B = Find(W))
                    return B;
        }
        return nullptr;
    };
    TButton* B = Find(this);
    if (B)
        B->Click();
    return B != nullptr;
}

void TForm::DoCreate()
{
    // An error in the creation handler is shown, and the window still exists.
    GuardedCall([this] { OnCreate(this); });
}

void TForm::BeforeDestruction()
{
    DoDestroy();
}

void TForm::DoDestroy()
{
    if (FDestroyed)
        return;
    FDestroyed = true;
    GuardedCall([this] { OnDestroy(this); });
}

QSize TForm::FrameSize() const
{
    switch (FBorderStyle) {
    case bsNone:
        return QSize(0, 0);
    case bsSingle:
    case bsDialog:
        return QSize(6, 28);
    case bsToolWindow:
        return QSize(6, 24);
    case bsSizeable:
    case bsSizeToolWin:
        break;
    }
    return QSize(16, 38);
}

QRect TForm::ClientRect() const
{
    const QSize F = FrameSize();
    return QRect(0, 0, std::max(0, Width() - F.width()), std::max(0, Height() - F.height()));
}

void TForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight)
{
    if (FMaxWidth > 0)
        AWidth = std::min(AWidth, FMaxWidth);
    if (FMinWidth > 0)
        AWidth = std::max(AWidth, FMinWidth);
    if (FMaxHeight > 0)
        AHeight = std::min(AHeight, FMaxHeight);
    if (FMinHeight > 0)
        AHeight = std::max(AHeight, FMinHeight);
    TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TForm::SetClientWidth(int Value)
{
    SetWidth(Value + FrameSize().width());
}

void TForm::SetClientHeight(int Value)
{
    SetHeight(Value + FrameSize().height());
}

void TForm::BoundsChanged()
{
    if (QWidget* W = Widget()) {
        const QRect C = ClientRect();
        ApplySizeLimits();
        if (W->size() != C.size())
            W->resize(C.size());
        if (FPosition == poDesigned || FPlaced)
            W->move(Left(), Top());
    }
    TWinControl::BoundsChanged();
}

void TForm::ApplySizeLimits()
{
    QWidget* W = Widget();
    if (!W)
        return;
    const QSize F = FrameSize();
    const QSize C = ClientRect().size();
    if (FBorderStyle != bsSizeable && FBorderStyle != bsSizeToolWin) {
        W->setFixedSize(C);
        return;
    }
    W->setMinimumSize(FMinWidth > 0 ? std::max(0, FMinWidth - F.width()) : 0, FMinHeight > 0 ? std::max(0, FMinHeight - F.height()) : 0);
    W->setMaximumSize(FMaxWidth > 0 ? std::max(0, FMaxWidth - F.width()) : QWIDGETSIZE_MAX,
        FMaxHeight > 0 ? std::max(0, FMaxHeight - F.height()) : QWIDGETSIZE_MAX);
}

void TForm::SetBorderStyle(TFormBorderStyle Value)
{
    if (Value == FBorderStyle)
        return;
    // The client area keeps its size; the outer size follows the new frame.
    const QSize C = ClientRect().size();
    FBorderStyle = Value;
    const QSize F = FrameSize();
    if (QWidget* W = Widget()) {
        W->setMinimumSize(0, 0);
        W->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    SetBounds(Left(), Top(), C.width() + F.width(), C.height() + F.height());
    ApplySizeLimits();
    ApplyWindowFlags();
}

void TForm::SetBorderIcons(TBorderIcons Value)
{
    if (Value == FBorderIcons)
        return;
    FBorderIcons = Value;
    ApplyWindowFlags();
}

void TForm::ApplyWindowFlags()
{
    QWidget* W = Widget();
    if (!W)
        return;
    Qt::WindowFlags F = Qt::Window | Qt::CustomizeWindowHint;
    if (FBorderStyle == bsNone)
        F |= Qt::FramelessWindowHint;
    else
        F |= Qt::WindowTitleHint;
    if (FBorderStyle == bsDialog)
        F |= Qt::Dialog;
    if (FBorderIcons.Contains(biSystemMenu)) {
        F |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (FBorderIcons.Contains(biMinimize) && FBorderStyle != bsDialog)
            F |= Qt::WindowMinimizeButtonHint;
        if (FBorderIcons.Contains(biMaximize) && (FBorderStyle == bsSizeable || FBorderStyle == bsSizeToolWin))
            F |= Qt::WindowMaximizeButtonHint;
    }
    const bool WasVisible = W->isVisible();
    W->setWindowFlags(F);
    if (WasVisible)
        W->show();
}

void TForm::SetPosition(TPosition Value)
{
    FPosition = Value;
}

void TForm::SetMinWidth(int Value)
{
    SetConstraint(FMinWidth, Value);
}

void TForm::SetMaxWidth(int Value)
{
    SetConstraint(FMaxWidth, Value);
}

void TForm::SetMinHeight(int Value)
{
    SetConstraint(FMinHeight, Value);
}

void TForm::SetMaxHeight(int Value)
{
    SetConstraint(FMaxHeight, Value);
}

void TForm::SetConstraint(int& Limit, int Value)
{
    if (std::max(0, Value) == Limit)
        return;
    Limit = std::max(0, Value);
    ApplySizeLimits();
    SetBounds(Left(), Top(), Width(), Height());
}

void TForm::TextChanged()
{
    if (Widget())
        Widget()->setWindowTitle(Caption());
    TWinControl::TextChanged();
}

void TForm::VisibleChanged()
{
    QWidget* W = Widget();
    if (!W)
        return;
    if (!Visible()) {
        W->hide();
        return;
    }
    if (!FPlaced) {
        FPlaced = true;
        if (FPosition == poScreenCenter || FPosition == poDesktopCenter || FPosition == poMainFormCenter || FPosition == poOwnerFormCenter) {
            if (QScreen* S = W->screen() ? W->screen() : QGuiApplication::primaryScreen()) {
                const QRect A = S->availableGeometry();
                const int L = A.left() + (A.width() - Width()) / 2;
                const int T = A.top() + (A.height() - Height()) / 2;
                SetBounds(L, T, Width(), Height());
            }
        }
        W->move(Left(), Top());
    }
    W->show();
}

void TForm::Close()
{
    if (Widget())
        Widget()->close();
}

void TForm::WidgetClosed()
{
    SetVisible(false);
    if (Application && Application->MainForm() == this)
        Application->Terminate();
}

void TForm::GetChildren(const TGetChildProc& Proc, TComponent* Root)
{
    // Owned components that are not controls come first, then the controls.
    for (int I = 0; I < ComponentCount(); ++I)
        if (!dynamic_cast<TControl*>(Components(I)))
            Proc(Components(I));
    TWinControl::GetChildren(Proc, Root);
}

TPropList TForm::Published()
{
    TPropList L;
    // A form's place and outer size follow from the screen and its frame.
    TPropInfo Left = Props::Property<TControl>(QStringLiteral("Left"), &TControl::Left, &TControl::SetLeft, 0);
    TPropInfo Top = Props::Property<TControl>(QStringLiteral("Top"), &TControl::Top, &TControl::SetTop, 0);
    TPropInfo Width = Props::Property<TControl>(QStringLiteral("Width"), &TControl::Width, &TControl::SetWidth);
    TPropInfo Height = Props::Property<TControl>(QStringLiteral("Height"), &TControl::Height, &TControl::SetHeight);
    const auto Never = [](const TObject&) { return false; };
    Width.Stored = Never;
    Height.Stored = Never;
    L.push_back(std::move(Left));
    L.push_back(std::move(Top));
    L.push_back(std::move(Width));
    L.push_back(std::move(Height));
    L.push_back(Props::Property<TForm>(QStringLiteral("BorderIcons"), &TForm::BorderIcons, &TForm::SetBorderIcons, DefaultBorderIcons));
    L.push_back(Props::Property<TForm>(QStringLiteral("BorderStyle"), &TForm::BorderStyle, &TForm::SetBorderStyle, DefaultBorderStyle));
    L.push_back(ControlProps::Caption());
    L.push_back(Props::Property<TForm>(QStringLiteral("ClientHeight"), &TControl::ClientHeight, &TForm::SetClientHeight));
    L.push_back(Props::Property<TForm>(QStringLiteral("ClientWidth"), &TControl::ClientWidth, &TForm::SetClientWidth));
    L.push_back(ControlProps::Color(DefaultColor));
    L.push_back(Props::Property<TForm>(QStringLiteral("Constraints.MaxHeight"), &TForm::MaxHeight, &TForm::SetMaxHeight, 0));
    L.push_back(Props::Property<TForm>(QStringLiteral("Constraints.MaxWidth"), &TForm::MaxWidth, &TForm::SetMaxWidth, 0));
    L.push_back(Props::Property<TForm>(QStringLiteral("Constraints.MinHeight"), &TForm::MinHeight, &TForm::SetMinHeight, 0));
    L.push_back(Props::Property<TForm>(QStringLiteral("Constraints.MinWidth"), &TForm::MinWidth, &TForm::SetMinWidth, 0));
    L.push_back(Props::Property<TForm>(QStringLiteral("DoubleBuffered"), &TForm::DoubleBuffered, &TForm::SetDoubleBuffered, false));
    ControlProps::AddFont(L);
    L.push_back(Props::Property<TForm>(QStringLiteral("Position"), &TForm::Position, &TForm::SetPosition, DefaultPosition));
    L.push_back(Props::Event(QStringLiteral("OnCreate"), &TForm::OnCreate));
    L.push_back(Props::Event(QStringLiteral("OnDestroy"), &TForm::OnDestroy));
    L.push_back(Props::Property<TControl>(QStringLiteral("Visible"), &TControl::Visible, &TControl::SetVisible, DefaultVisible));
    return L;
}

// ---------------------------------------------------------------------------
// TApplication

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner)
{
    if (!Application) {
        Application = this;
        SetExceptionHandler([this](const QString& ClassName, const QString& Message) { HandleException(ClassName, Message); });
    }
    RegisterToolkitClasses();
}

TApplication::~TApplication()
{
    // The forms go while the application object is still whole.
    Destroying();
    DestroyComponents();
    if (Application == this) {
        Application = nullptr;
        SetExceptionHandler({});
    }
}

void TApplication::Initialize()
{
    if (FInitialized)
        return;
    FInitialized = true;
    if (InitProc)
        InitProc();
}

void TApplication::Run()
{
    if (FTerminated)
        return;
    if (FMainForm)
        FMainForm->Show();
    FRunning = true;
    if (!FTerminated)
        QApplication::exec();
    FRunning = false;
}

void TApplication::Terminate()
{
    FTerminated = true;
    QCoreApplication::exit(0);
}

namespace {

QString& ErrorLogFile()
{
    static QString Instance;
    return Instance;
}

} // namespace

QString TApplication::ErrorLogPath()
{
    return ErrorLogFile();
}

void TApplication::SetErrorLogPath(const QString& FileName)
{
    ErrorLogFile() = FileName;
}

void TApplication::HandleException(const QString& ClassName, const QString& Message)
{
    const QString Path = ErrorLogPath();
    const QString Folder = QFileInfo(Path).absolutePath();
    // The reports are the user's own: the folder is made private.
    if (!Path.isEmpty() && QDir().mkpath(QFileInfo(Folder).absolutePath())
        && (QFileInfo(Folder).isDir() || QDir().mkdir(Folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))) {
        QFile Log(Path);
        if (Log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            const QString Entry = QStringLiteral("%1 %2 (pid %3): %4: %5\n")
                                      .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs),
                                          QCoreApplication::applicationName())
                                      .arg(QCoreApplication::applicationPid())
                                      .arg(ClassName, Message);
            // A report that cannot be written must not hide the error itself.
            (void)Log.write(Entry.toUtf8());
        }
    }
    QString Title = FMainForm ? FMainForm->Caption() : QString();
    if (Title.isEmpty())
        Title = QCoreApplication::applicationName();
    if (ShowErrorDialog(Title, Message) == eaClose)
        Terminate();
}

int TApplication::MessageBox(const QString& Text, const QString& Caption, unsigned Flags)
{
    return ::MessageBox(FMainForm, Text, Caption, Flags);
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation)
{
    if (Operation == opRemove && AComponent == FMainForm)
        FMainForm = nullptr;
    TComponent::Notification(AComponent, Operation);
}

void RegisterFormsUnit()
{
    RegisterControlsUnit();
    RegisterClass<TForm, TWinControl>(QStringLiteral("TForm"), TForm::Published());
}

void RegisterToolkitClasses()
{
    RegisterFormsUnit();
    RegisterExtCtrlsUnit();
    RegisterStdCtrlsUnit();
    RegisterComCtrlsUnit();
}
