#include "platform/IniSections.h"

#include "platform/TextDecoding.h"

namespace {

// Removes every character with a code of 32 or less from both ends.
QString TrimControls(const QString& Text)
{
    qsizetype First = 0;
    qsizetype Last = Text.size();
    while (First < Last && Text.at(First).unicode() <= 32)
        ++First;
    while (Last > First && Text.at(Last - 1).unicode() <= 32)
        --Last;
    return Text.mid(First, Last - First);
}

// Full Unicode upper-casing, so that "ß" and "SS" name the same key.
QString HashKey(const QString& Name)
{
    return Name.toUpper();
}

QString LineName(const QString& Line)
{
    return Line.left(Line.indexOf(u'='));
}

} // namespace

TIniSections::TIniSections() = default;

TIniSections::~TIniSections() = default;

void TIniSections::LoadFile(const QString& FileName)
{
    // Read and decode everything before touching the content, so that a
    // failure leaves the content as it was.
    const QStringList Lines = TextDecoding::ReadLines(FileName);
    ParseLines(Lines);
}

void TIniSections::ParseLines(const QStringList& Lines)
{
    ClearAll();
    QStringList* Current = nullptr;
    for (const QString& Raw : Lines) {
        const QString Line = TrimControls(Raw);
        if (Line.isEmpty() || Line.front() == u';')
            continue;
        if (Line.front() == u'[' && Line.back() == u']') {
            Current = &NewSection(TrimControls(Line.mid(1, Line.size() - 2)));
            continue;
        }
        if (!Current)
            continue;
        const qsizetype Equal = Line.indexOf(u'=');
        if (Equal < 0)
            Current->append(Line);
        else
            Current->append(TrimControls(Line.left(Equal)) + u'=' + TrimControls(Line.mid(Equal + 1)));
    }
}

QStringList& TIniSections::NewSection(const QString& Name)
{
    auto Section = std::make_unique<TSection>();
    Section->Name = Name;
    Sections.push_back(std::move(Section));
    SectionIndexValid = false;
    return Sections.back()->Lines;
}

void TIniSections::ClearAll()
{
    Sections.clear();
    SectionIndex.clear();
    SectionIndexValid = false;
}

TIniSections::TSection* TIniSections::FindSection(const QString& Name)
{
    if (!SectionIndexValid) {
        SectionIndex.clear();
        // Later entries overwrite earlier ones: the last occurrence wins.
        for (size_t I = 0; I < Sections.size(); ++I)
            SectionIndex.insert(HashKey(Sections[I]->Name), static_cast<qsizetype>(I));
        SectionIndexValid = true;
    }
    const auto It = SectionIndex.constFind(HashKey(Name));
    return It == SectionIndex.cend() ? nullptr : Sections[static_cast<size_t>(*It)].get();
}

qsizetype TIniSections::FindLine(TSection& Section, const QString& Key)
{
    if (!Section.LineIndexValid) {
        Section.LineIndex.clear();
        for (qsizetype I = 0; I < Section.Lines.size(); ++I) {
            const QString& Line = Section.Lines.at(I);
            // A line without "=" has no name and is never found.
            if (Line.contains(u'='))
                Section.LineIndex.insert(HashKey(LineName(Line)), I);
        }
        Section.LineIndexValid = true;
    }
    return Section.LineIndex.value(HashKey(Key), -1);
}

QString TIniSections::ReadEntry(const QString& Section, const QString& Key, const QString& Default)
{
    TSection* Found = FindSection(Section);
    if (!Found)
        return Default;
    const qsizetype Index = FindLine(*Found, Key);
    if (Index < 0)
        return Default;
    // Cut after the line's own name rather than after Key's length: with
    // full case mapping the two may differ in length ("ß" and "SS").
    const QString& Line = Found->Lines.at(Index);
    return Line.mid(Line.indexOf(u'=') + 1);
}

void TIniSections::WriteEntry(const QString& Section, const QString& Key, const QString& Value)
{
    TSection* Found = FindSection(Section);
    if (!Found) {
        NewSection(Section);
        Found = Sections.back().get();
    }
    const QString Line = Key + u'=' + Value;
    const qsizetype Index = FindLine(*Found, Key);
    if (Index >= 0)
        Found->Lines[Index] = Line;
    else
        Found->Lines.append(Line);
    Found->LineIndexValid = false;
}

void TIniSections::ListKeys(const QString& Section, QStringList& Out)
{
    Out.clear();
    if (TSection* Found = FindSection(Section)) {
        for (const QString& Line : std::as_const(Found->Lines))
            Out.append(Line.contains(u'=') ? LineName(Line) : QString());
    }
}

void TIniSections::ListSections(QStringList& Out) const
{
    Out.clear();
    for (const auto& Section : Sections)
        Out.append(Section->Name);
}

void TIniSections::GetSectionLines(const QString& Section, QStringList& Out)
{
    Out.clear();
    if (TSection* Found = FindSection(Section))
        Out = Found->Lines;
}

void TIniSections::RemoveSection(const QString& Section)
{
    if (!FindSection(Section))
        return;
    const qsizetype Index = SectionIndex.value(HashKey(Section));
    Sections.erase(Sections.begin() + Index);
    SectionIndexValid = false;
}

void TIniSections::RemoveKey(const QString& Section, const QString& Key)
{
    TSection* Found = FindSection(Section);
    if (!Found)
        return;
    const qsizetype Index = FindLine(*Found, Key);
    if (Index < 0)
        return;
    Found->Lines.removeAt(Index);
    Found->LineIndexValid = false;
}
