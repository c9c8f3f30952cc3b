#pragma once

#include <QString>

#include <functional>

class TWinControl;

// Buttons and icons of a message box, with the system's values.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
constexpr unsigned MB_YESNOCANCEL = 0x3;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_RETRYCANCEL = 0x5;
constexpr unsigned MB_ICONHAND = 0x10;
constexpr unsigned MB_ICONERROR = MB_ICONHAND;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr unsigned MB_ICONINFORMATION = 0x40;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// A modal message box owned by Owner's window (none: the application's);
// returns the button pressed.
int MessageBox(TWinControl* Owner, const QString& Text, const QString& Caption, unsigned Flags);

using TMessageBoxFunc = std::function<int(TWinControl* Owner, const QString& Text, const QString& Caption, unsigned Flags)>;
// Tests put their own message box in place; an empty function restores the
// real one. Returns the one replaced.
TMessageBoxFunc SetMessageBoxFunc(TMessageBoxFunc Func);

// The error dialog of the handler of unexpected errors.
enum TErrorAction
{
    eaContinue,
    eaClose
};

// Shows the error text and asks whether to continue or to close the program.
TErrorAction ShowErrorDialog(const QString& Title, const QString& Text);

using TErrorDialogFunc = std::function<TErrorAction(const QString& Title, const QString& Text)>;
TErrorDialogFunc SetErrorDialogFunc(TErrorDialogFunc Func);
