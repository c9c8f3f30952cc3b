#include "platform/ProfileStrings.h"

#include "platform/ProfileCache.h"

using namespace ProfileFile;

namespace ProfileStrings {

QString GetString(const QString& FileName, const QString& Section, const QString& Key, const QString& Default)
{
    if (const ProfileCache::TFile File = ProfileCache::Read(FileName))
        if (const std::optional<TSectionRange> Range = File->FindSection(Section))
            if (const std::optional<qsizetype> At = File->FindKey(*Range, Key))
                if (File->Line(*At).HasValue)
                    return File->Value(File->Line(*At));
    return AsReturned(TrimRight(Default));
}

QStringList GetKeys(const QString& FileName, const QString& Section)
{
    if (const ProfileCache::TFile File = ProfileCache::Read(FileName))
        if (const std::optional<TSectionRange> Range = File->FindSection(Section))
            return File->Keys(*Range);
    return {};
}

QStringList GetSections(const QString& FileName)
{
    const ProfileCache::TFile File = ProfileCache::Read(FileName);
    return File ? File->Sections() : QStringList();
}

QList<TProfileLine> GetLines(const QString& FileName, const QString& Section)
{
    const ProfileCache::TFile File = ProfileCache::Read(FileName);
    QList<TProfileLine> Out;
    if (!File)
        return Out;
    if (std::optional<QList<TProfileLine>> Kept = ProfileCache::Kept(File, Section))
        return *Kept;
    const std::optional<TSectionRange> Range = File->FindSection(Section);
    if (!Range)
        return Out;
    Out.reserve(Range->End - Range->Begin);
    for (qsizetype I = Range->Begin; I < Range->End; ++I)
        if (File->Line(I).Kind == TLineKind::Key && File->Line(I).HasValue)
            Out.append(File->Read(File->Line(I)));
    ProfileCache::Keep(File, Section, Out);
    return Out;
}

bool WriteString(const QString& FileName, const QString& Section, const QString& Key, const QString& Value)
{
    if (HasLineBreak(Section) || HasLineBreak(Key) || HasLineBreak(Value))
        return false;
    return ProfileCache::Change(FileName, [&](TProfileFile& File) { File.WriteString(Section, Key, Value); });
}

bool DeleteKey(const QString& FileName, const QString& Section, const QString& Key)
{
    return ProfileCache::Change(FileName, [&](TProfileFile& File) { File.DeleteKey(Section, Key); });
}

bool DeleteSection(const QString& FileName, const QString& Section)
{
    return ProfileCache::Change(FileName, [&](TProfileFile& File) { File.DeleteSection(Section); });
}

} // namespace ProfileStrings
