// links: lumidor_controls lumidor_toolkit
// The window-description reader on any text: wrong content raises EReadError
// (EFOpenError for a picture it cannot open) and nothing else; a window that
// reads writes a description that reads back to the same description.
#include "FuzzSupport.h"
#include "controls/PPageNote.h"
#include "controls/TLabel_Transparent.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Forms.h"

#include <QApplication>

#include <algorithm>
#include <functional>

namespace {

// The root class of the fuzzed descriptions, with the wizard's handler names.
class TFuzzForm : public TForm
{
public:
    explicit TFuzzForm(TComponent* AOwner) : TForm(AOwner)
    {
        static const char* const Notify[] = {"FormCreate", "FormDestroy", "btnBackClick", "btnNextClick", "btnCloseClick",
            "rbShutdownClick", "rbRestartClick", "rbAfterClick", "rbOrat1Click", "rbOrat2Click", "cbOptionChange",
            "cbOption2Change", "dtPickerChange", "DateTimePickerOnceChange", "DateTimePickerDailyChange"};
        for (const char* Name : Notify)
            DefineHandler(QString::fromLatin1(Name), std::function<void(TObject*)>([](TObject*) {}));
        DefineHandler(QStringLiteral("lvViewItemChecked"), std::function<void(TObject*, TListItem*)>([](TObject*, TListItem*) {}));
    }
};

// The description text of what Text reads into, or a null text when it does
// not read.
QString ReadAndWrite(const QString& Text, bool MustRead)
{
    TOwnedPtr<TFuzzForm> Form(new TFuzzForm(nullptr));
    try {
        ReadComponentText(Text, QStringLiteral("fuzz.dfm"), Form.get());
    } catch (const EReadError& E) {
        if (MustRead)
            Fuzz::Fail("a written description does not read back", E.Message() + u'\n' + Text);
        return QString();
    } catch (const EFOpenError& E) {
        if (MustRead)
            Fuzz::Fail("a written description does not read back", E.Message() + u'\n' + Text);
        return QString();
    } catch (const EError& E) {
        Fuzz::Fail("the reader raised an error other than EReadError", E.Message());
    }
    return TWriter::WriteRootComponent(Form.get());
}

// Where two writes part: the first differing line of each, with the lines
// before it, short enough to survive the tail of a log.
QString FirstDifference(const QString& A, const QString& B)
{
    const QStringList L = A.split(u'\n'), R = B.split(u'\n');
    qsizetype I = 0;
    while (I < L.size() && I < R.size() && L[I] == R[I])
        ++I;
    const qsizetype From = std::max<qsizetype>(0, I - 8);
    QString Out = QStringLiteral("first difference at line %1\n").arg(I + 1);
    for (qsizetype K = From; K < I; ++K)
        Out += QStringLiteral("  ") + L[K] + u'\n';
    Out += QStringLiteral("- ") + (I < L.size() ? L[I] : QStringLiteral("(end)")) + u'\n';
    Out += QStringLiteral("+ ") + (I < R.size() ? R[I] : QStringLiteral("(end)"));
    return Out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    RegisterToolkitClasses();
    RegisterPPageNoteUnit();
    RegisterTLabel_TransparentUnit();
    RegisterClass<TFuzzForm, TForm>(QStringLiteral("TfrmMain"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    const QString Text = QString::fromUtf8(reinterpret_cast<const char*>(Data), qsizetype(Size));
    const QString Written = ReadAndWrite(Text, false);
    if (Written.isNull())
        return 0;
    const QString Again = ReadAndWrite(Written, true);
    Fuzz::Check(Again == Written, "read-write-read is not stable", FirstDifference(Written, Again));
    return 0;
}
