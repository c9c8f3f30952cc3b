// links: lumidor_platform lumidor_jobs
// The profile-string reader and writer on any file content: reading never
// fails, and every write keeps the promises of ProfileStrings.h.
#include "FuzzSupport.h"
#include "platform/AsciiText.h"
#include "jobs/SectionRenumbering.h"
#include "platform/ProfileStrings.h"

#include <QFile>
#include <QSet>

using namespace ProfileStrings;
using namespace SectionRenumbering;

namespace {

// Every call reads the whole file again: a few sections are enough.
constexpr qsizetype MaxSectionsChecked = 2;

QStringList KeysOf(const QList<TProfileLine>& Lines)
{
    QStringList Out;
    for (const TProfileLine& L : Lines)
        Out += L.Key;
    return Out;
}

// Sections whose name another one shares, by any reading of "ignoring case".
int Occurrences(const QStringList& Sections, const QString& Name)
{
    int N = 0;
    for (const QString& S : Sections)
        if (S.compare(Name, Qt::CaseInsensitive) == 0)
            ++N;
    return N;
}

bool DistinctKeys(const QStringList& Keys)
{
    QSet<QString> Seen;
    for (const QString& K : Keys)
        if (!Seen.contains(K.toCaseFolded()))
            Seen.insert(K.toCaseFolded());
        else
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    static const QString File = Fuzz::ScratchFile(".ini");
    Fuzz::WriteFile(File, QByteArray(reinterpret_cast<const char*>(Data), qsizetype(Size)));

    // Reading: GetLines and GetKeys list the same keys.
    const QStringList Sections = GetSections(File);
    QList<QList<TProfileLine>> Before;
    for (qsizetype I = 0; I < Sections.size() && I < MaxSectionsChecked; ++I) {
        const QList<TProfileLine> Lines = GetLines(File, Sections[I]);
        Fuzz::Check(KeysOf(Lines) == GetKeys(File, Sections[I]), "GetLines and GetKeys disagree", Sections[I]);
        Before += Lines;
    }

    // The writes cost far more than the reads; a quarter of the inputs, chosen
    // by their first byte, go through them.
    if (Size == 0 || Data[0] % 4 != 0)
        return 0;

    // A new key reads back, and the other sections keep their entries.
    const QString Value = QStringLiteral("fuzz value");
    Fuzz::Check(WriteString(File, QStringLiteral("FuzzSection"), QStringLiteral("FuzzKey"), Value), "WriteString refused");
    Fuzz::Check(GetString(File, QStringLiteral("FuzzSection"), QStringLiteral("FuzzKey")) == Value, "written value not read back");
    for (qsizetype I = 0; I < Before.size(); ++I)
        if (Sections[I].compare(QStringLiteral("FuzzSection"), Qt::CaseInsensitive) != 0)
            Fuzz::Check(GetLines(File, Sections[I]) == Before[I], "WriteString changed another section", Sections[I]);
    Fuzz::Check(DeleteKey(File, QStringLiteral("FuzzSection"), QStringLiteral("FuzzKey")), "DeleteKey refused");
    Fuzz::Check(GetString(File, QStringLiteral("FuzzSection"), QStringLiteral("FuzzKey"), QStringLiteral("gone")) == QStringLiteral("gone"),
        "deleted key still read");

    // Removing nothing and renaming nothing keeps every line's value and bytes.
    if (!Sections.isEmpty() && !Sections[0].isEmpty() && Occurrences(Sections, Sections[0]) == 1) {
        const QList<TProfileLine> Lines = GetLines(File, Sections[0]);
        QStringList Keys;
        for (const TProfileLine& Line : Lines)
            Keys += Line.Key;
        if (DistinctKeys(Keys)) {
            Fuzz::Check(RemoveLines(File, Sections[0], [](const QString&) { return false; },
                                    [&](qsizetype N) { return Keys[N - 1]; }),
                        "RemoveLines refused");
            Fuzz::Check(GetLines(File, Sections[0]) == Lines, "RemoveLines changed a kept line", Sections[0]);
        }
    }
    // Removing a value the short way writes what the general way writes.
    if (!Sections.isEmpty()) {
        const QList<TProfileLine> Lines = GetLines(File, Sections[0]);
        const QString Value = Lines.isEmpty() ? QString() : Lines[0].Value;
        QFile Read(File);
        const QByteArray Start = Read.open(QIODevice::ReadOnly) ? Read.readAll() : QByteArray();
        Read.close();
        const bool General = RemoveLines(
            File, Sections[0], [&](const QString& V) { return AsciiText::SameText(V, Value); },
            [](qsizetype N) { return QStringLiteral("Job%1").arg(N); });
        const QByteArray Expected = Read.open(QIODevice::ReadOnly) ? Read.readAll() : QByteArray();
        Read.close();
        Fuzz::WriteFile(File, Start);
        Fuzz::Check(RemoveValue(File, Sections[0], Value, QStringLiteral("Job")) == General, "RemoveValue refused otherwise");
        const QByteArray Got = Read.open(QIODevice::ReadOnly) ? Read.readAll() : QByteArray();
        Read.close();
        Fuzz::Check(Got == Expected, "RemoveValue wrote other bytes", Sections[0]);
    }
    Fuzz::Check(DeleteSection(File, QStringLiteral("FuzzSection")), "DeleteSection refused");
    return 0;
}
