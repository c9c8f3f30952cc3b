#include "i18n/uLanguage.h"

#include <QDir>
#include <QFileInfo>

#include <exception>

#include "i18n/ExtIniFiles.h"
#include "platform/RunTimeTexts.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Controls.h"
#include "toolkit/Forms.h"
#include "toolkit/StdCtrls.h"

namespace {

// Kinds whose caption is translated under "<name>.Caption"; derived classes
// count as their kind.
const char* const CaptionKinds[] = {
    "TLabel", "TStaticText", "TButton", "TGroupBox", "TCheckBox", "TRadioButton", "TRadioGroup",
    "TMenuItem", "TToolButton", "TSpeedButton", "TTabSheet",
};

// By the class registry, so that kinds this toolkit lacks still count when a
// unit registers them; the toolkit's own by their C++ class as well, which
// also covers derived classes that were never registered.
bool IsCaptionKind(TComponent* X)
{
    if (dynamic_cast<TButton*>(X) || dynamic_cast<TRadioButton*>(X) || dynamic_cast<TGroupBox*>(X))
        return true;
    for (const char* Kind : CaptionKinds)
        if (X->InheritsFrom(QString::fromLatin1(Kind)))
            return true;
    return false;
}

QString ItemKey(const QString& Name, const char* List, int Index)
{
    return QStringLiteral("%1.%2[%3].Caption").arg(Name, QLatin1String(List)).arg(Index);
}

QString CaptionOf(TComponent* X)
{
    if (auto* Control = dynamic_cast<TControl*>(X))
        return Control->Caption();
    const TClassInfo* Class = ClassRegistry::Of(*X);
    const TPropInfo* Row = Class ? Class->FindProperty(QStringLiteral("Caption")) : nullptr;
    return Row ? Row->Get(*X).Text : QString();
}

void SetCaptionOf(TComponent* X, const QString& Value)
{
    if (auto* Control = dynamic_cast<TControl*>(X)) {
        Control->SetCaption(Value);
        return;
    }
    // Components that are no controls (menu items) publish their caption.
    const TClassInfo* Class = ClassRegistry::Of(*X);
    if (const TPropInfo* Row = Class ? Class->FindProperty(QStringLiteral("Caption")) : nullptr)
        Row->Set(*X, TValue::OfString(Value));
}

} // namespace

TLanguage::TLanguage(const QString& ModuleName)
    : FModuleName(ModuleName), FLanguageFile(std::make_unique<TExtIniFile>())
{
}

TLanguage::~TLanguage() = default;

void TLanguage::ScanLanguages(const QString& Folder)
{
    FLanguageFolder = Folder;
    if (FLanguageFolder.endsWith(u'/'))
        FLanguageFolder.chop(1);

    const QStringList Entries = LanguageFiles::Entries(FLanguageFolder);
    for (const QString& Entry : Entries) {
        const QString Name = LanguageFiles::NameOf(Entry);
        FLanguageNames.append(Name);
        FFileNames.append(Entry);
        const int Index = static_cast<int>(FLanguageNames.size()) - 1;
        // Each file is read for its own display name. An entry that cannot be
        // loaded (a sub-folder) shows its name rather than the display name of
        // the language loaded before it, and leaves that language in force
        // with its own index.
        if (IsLanguageFile(Index) && LoadLanguage(Index))
            FDisplayNames.append(ReadText(QStringLiteral("Main"), QStringLiteral("DisplayName"), Name));
        else
            FDisplayNames.append(Name);
    }
}

QString TLanguage::ReadSetting(const QString& FileName, const QString& Section, const QString& Key)
{
    return LanguageFiles::ReadSetting(FileName, Section, Key);
}

void TLanguage::SelectLanguage(const QString& Name)
{
    // A requested file that is missing, a folder or unreadable counts as
    // missing: English stands in; without English nothing changes.
    (void)LanguageFiles::LoadOrEnglish(FLanguageNames, Name,
        [this](int Index) { return IsLanguageFile(Index) && LoadLanguage(Index); });
}

void TLanguage::TranslateApplication()
{
    if (!Application)
        return;
    for (int I = 0; I < Application->ComponentCount(); ++I)
        TranslateComponent(Application->Components(I));
}

void TLanguage::TranslateComponent(TComponent* C)
{
    if (!C || C->Name().isEmpty())
        return;
    const QString Section = FModuleName + u'_' + C->Name();
    try {
        const QString TitleKey = C->Name() + QStringLiteral(".Caption");
        if (FLanguageFile->HasKey(Section, TitleKey)) {
            auto* Form = dynamic_cast<TForm*>(C);
            if (!Form)
                return;
            Form->SetCaption(ReadText(Section, TitleKey, Form->Caption()));
        }
        for (int I = 0; I < C->ComponentCount(); ++I)
            TranslateOwned(C->Components(I), Section);
    } catch (const std::exception&) {
        // A failure ends this component's translation only.
    }
}

void TLanguage::TranslateOwned(TComponent* X, const QString& Section)
{
    const QString Name = X->Name();
    if (IsCaptionKind(X)) {
        SetCaptionOf(X, ReadText(Section, Name + QStringLiteral(".Caption"), CaptionOf(X)));
        return;
    }
    if (auto* Combo = dynamic_cast<TComboBox*>(X)) {
        // Items without a key keep their text.
        for (int J = 0; J < Combo->ItemCount(); ++J)
            Combo->SetItem(J, ReadText(Section, ItemKey(Name, "Items", J), Combo->Item(J)));
        Combo->Invalidate();
        return;
    }
    // The toolkit has no tree view; its row of the table has nothing to match.
    if (auto* List = dynamic_cast<TListView*>(X)) {
        // Headers only: the rows and the groups are not translated.
        for (int J = 0; J < List->ColumnCount(); ++J) {
            TListColumn* Column = List->Column(J);
            Column->SetCaption(ReadText(Section, ItemKey(Name, "Columns", J), Column->Caption()));
        }
        return;
    }
    const QString ClassName = X->ClassName();
    if (ClassName == QLatin1String("TReportTab") || ClassName == QLatin1String("TReportContent"))
        TranslateComponent(X);
}

QString TLanguage::ReadText(const QString& Section, const QString& Key, const QString& Default)
{
    return FLanguageFile->ReadEntry(Section, Key, Default);
}

QString TLanguage::GetText(const QString& Key, const QString& Default) const
{
    return FRuntimeTexts.Text(Key, Default);
}

bool TLanguage::IsLanguageFile(int Index) const
{
    return Index >= 0 && QFileInfo(FLanguageFolder + u'/' + FFileNames.at(Index)).isFile();
}

bool TLanguage::LoadLanguage(int Index)
{
    // The path takes the file's own spelling from the scan, so that on a
    // case-sensitive file system the setting "german" still finds "German.lng".
    try {
        FLanguageFile->LoadFile(FLanguageFolder + u'/' + FFileNames.at(Index));
    } catch (const EFOpenError&) {
        return false;
    }
    FLanguageIndex = Index;
    QStringList Lines;
    FLanguageFile->GetSectionLines(FModuleName + QStringLiteral("_M"), Lines);
    FRuntimeTexts.SetSection(Lines);
    return true;
}
