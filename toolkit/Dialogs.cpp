#include "toolkit/Dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "toolkit/Controls.h"

namespace {

TMessageBoxFunc& MessageBoxOverride()
{
    static TMessageBoxFunc F;
    return F;
}

TErrorDialogFunc& ErrorDialogOverride()
{
    static TErrorDialogFunc F;
    return F;
}

QWidget* OwnerWindow(TWinControl* Owner)
{
    if (Owner && Owner->Widget())
        return Owner->Widget()->window();
    return QApplication::activeWindow();
}

int SystemMessageBox(TWinControl* Owner, const QString& Text, const QString& Caption, unsigned Flags)
{
    QMessageBox Box(OwnerWindow(Owner));
    Box.setWindowTitle(Caption);
    Box.setText(Text);
    switch (Flags & 0xF0) {
    case MB_ICONHAND:
        Box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        Box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONEXCLAMATION:
        Box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        Box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    struct TButton
    {
        QMessageBox::StandardButton Button;
        int Id;
    };
    std::vector<TButton> Buttons;
    switch (Flags & 0xF) {
    case MB_OKCANCEL:
        Buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MB_ABORTRETRYIGNORE:
        Buttons = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
        break;
    case MB_YESNOCANCEL:
        Buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MB_YESNO:
        Buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
        break;
    case MB_RETRYCANCEL:
        Buttons = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    default:
        Buttons = {{QMessageBox::Ok, IDOK}};
        break;
    }
    QMessageBox::StandardButtons Set;
    for (const TButton& B : Buttons)
        Set |= B.Button;
    Box.setStandardButtons(Set);
    Box.setDefaultButton(Buttons.front().Button);
    const int Answer = Box.exec();
    for (const TButton& B : Buttons)
        if (Answer == B.Button)
            return B.Id;
    // Closed by the window's close button: the cancelling answer where there is one.
    return (Flags & 0xF) == MB_OK ? IDOK : IDCANCEL;
}

TErrorAction SystemErrorDialog(const QString& Title, const QString& Text)
{
    QMessageBox Box(QApplication::activeWindow());
    Box.setWindowTitle(Title);
    Box.setIcon(QMessageBox::Critical);
    Box.setText(QStringLiteral("An unexpected error occurred."));
    Box.setInformativeText(Text);
    QPushButton* Continue = Box.addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole);
    QPushButton* Close = Box.addButton(QStringLiteral("Close program"), QMessageBox::DestructiveRole);
    Box.setDefaultButton(Continue);
    Box.setEscapeButton(Continue);
    Box.exec();
    return Box.clickedButton() == Close ? eaClose : eaContinue;
}

} // namespace

int MessageBox(TWinControl* Owner, const QString& Text, const QString& Caption, unsigned Flags)
{
    if (MessageBoxOverride())
        return MessageBoxOverride()(Owner, Text, Caption, Flags);
    return SystemMessageBox(Owner, Text, Caption, Flags);
}

TMessageBoxFunc SetMessageBoxFunc(TMessageBoxFunc Func)
{
    TMessageBoxFunc Old = std::move(MessageBoxOverride());
    MessageBoxOverride() = std::move(Func);
    return Old;
}

TErrorAction ShowErrorDialog(const QString& Title, const QString& Text)
{
    if (ErrorDialogOverride())
        return ErrorDialogOverride()(Title, Text);
    return SystemErrorDialog(Title, Text);
}

TErrorDialogFunc SetErrorDialogFunc(TErrorDialogFunc Func)
{
    TErrorDialogFunc Old = std::move(ErrorDialogOverride());
    ErrorDialogOverride() = std::move(Func);
    return Old;
}
