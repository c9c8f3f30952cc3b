// links: lumidor_i18n
// TExtIniFile::LoadFile on any bytes, in every encoding it tells apart by the
// byte-order mark: loading never fails on content, and every name listed is found.
#include "FuzzSupport.h"
#include "i18n/ExtIniFiles.h"

namespace {

constexpr qsizetype MaxSectionsChecked = 32;
const QString Missing = QStringLiteral("\x01missing");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    static const QString File = Fuzz::ScratchFile(".lng");
    Fuzz::WriteFile(File, QByteArray(reinterpret_cast<const char*>(Data), qsizetype(Size)));

    TExtIniFile Ini;
    try {
        Ini.LoadFile(File);
    } catch (const EFOpenError& E) {
        Fuzz::Fail("a readable file was refused", E.Message());
    }

    QStringList Sections;
    Ini.ListSections(Sections);
    for (qsizetype I = 0; I < Sections.size() && I < MaxSectionsChecked; ++I) {
        QStringList Keys;
        Ini.ListKeys(Sections[I], Keys);
        QStringList Lines;
        Ini.GetSectionLines(Sections[I], Lines);
        Fuzz::Check(Keys.size() == Lines.size(), "ListKeys and GetSectionLines disagree", Sections[I]);
        for (qsizetype K = 0; K < Lines.size(); ++K)
            if (Lines[K].contains(u'='))
                Fuzz::Check(Ini.ReadEntry(Sections[I], Keys[K], Missing) != Missing, "a listed key is not found", Keys[K]);
    }

    // Writes change the memory, and a key without "=" reads back.
    Ini.WriteEntry(QStringLiteral("Fuzz"), QStringLiteral("Key"), QStringLiteral("value"));
    Fuzz::Check(Ini.ReadEntry(QStringLiteral("fuzz"), QStringLiteral("KEY"), Missing) == QStringLiteral("value"), "written entry not read back");
    Ini.RemoveKey(QStringLiteral("Fuzz"), QStringLiteral("Key"));
    Fuzz::Check(Ini.ReadEntry(QStringLiteral("Fuzz"), QStringLiteral("Key"), Missing) == Missing, "removed entry still read");
    if (!Sections.isEmpty())
        Ini.RemoveSection(Sections.back());

    // The same bytes load the same way twice.
    TExtIniFile Again;
    Again.LoadFile(File);
    QStringList SectionsAgain;
    Again.ListSections(SectionsAgain);
    Fuzz::Check(SectionsAgain == Sections, "a second load differs");
    return 0;
}
