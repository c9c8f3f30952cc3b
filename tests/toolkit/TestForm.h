#pragma once

#include <QFile>
#include <QStringList>

#include "toolkit/ComCtrls.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/StdCtrls.h"

// A window class as the program's own would be: it binds its handlers by
// name, then loads its description. Every handler call is recorded.
class TTestForm : public TForm
{
public:
    explicit TTestForm(TComponent* AOwner, bool BindHandlers = true) : TForm(AOwner)
    {
        if (!BindHandlers)
            return;
        DefineHandler(QStringLiteral("FormCreate"), &TTestForm::FormCreate);
        DefineHandler(QStringLiteral("FormDestroy"), &TTestForm::FormDestroy);
        DefineHandler(QStringLiteral("btnBackClick"), &TTestForm::btnBackClick);
        DefineHandler(QStringLiteral("btnNextClick"), &TTestForm::btnNextClick);
        DefineHandler(QStringLiteral("rbShutdownClick"), &TTestForm::rbShutdownClick);
        DefineHandler(QStringLiteral("rbRestartClick"), &TTestForm::rbRestartClick);
        DefineHandler(QStringLiteral("cbOptionChange"), &TTestForm::cbOptionChange);
        DefineHandler(QStringLiteral("dtPickerChange"), &TTestForm::dtPickerChange);
        DefineHandler(QStringLiteral("lvViewItemChecked"), &TTestForm::lvViewItemChecked);
    }

    void FormCreate(TObject*) { Calls << QStringLiteral("FormCreate"); }
    void FormDestroy(TObject*)
    {
        if (DestroyLog)
            *DestroyLog << QStringLiteral("FormDestroy");
    }
    void btnBackClick(TObject*) { Calls << QStringLiteral("btnBackClick"); }
    void btnNextClick(TObject*) { Calls << QStringLiteral("btnNextClick"); }
    void rbShutdownClick(TObject*) { Calls << QStringLiteral("rbShutdownClick"); }
    void rbRestartClick(TObject*) { Calls << QStringLiteral("rbRestartClick"); }
    void cbOptionChange(TObject*) { Calls << QStringLiteral("cbOptionChange"); }
    void dtPickerChange(TObject*) { Calls << QStringLiteral("dtPickerChange"); }
    void lvViewItemChecked(TObject*, TListItem* Item)
    {
        Calls << QStringLiteral("lvViewItemChecked %1 %2").arg(Item->Index()).arg(Item->Checked() ? 1 : 0);
    }

    template <class T>
    T* Find(const char* Name) const
    {
        return dynamic_cast<T*>(FindComponent(QString::fromLatin1(Name)));
    }

    QStringList Calls;
    QStringList* DestroyLog = nullptr;
};

inline void RegisterTestClasses()
{
    RegisterToolkitClasses();
    RegisterClass<TTestForm, TForm>(QStringLiteral("TTestForm"));
}

// The shipped test window, with its picture path made absolute.
inline QString TestWindowText()
{
    QFile F(QStringLiteral(LUMIDOR_TEST_DATA "/toolkit/window.dfm"));
    if (!F.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(F.readAll()).replace(QStringLiteral("'red-4x3.png'"), QStringLiteral("'" LUMIDOR_TEST_DATA "/toolkit/red-4x3.png'"));
}
