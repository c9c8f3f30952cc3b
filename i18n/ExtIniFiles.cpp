#include "i18n/ExtIniFiles.h"

TExtIniFile::TExtIniFile() = default;

TExtIniFile::~TExtIniFile() = default;

void TExtIniFile::LoadFile(const QString& FileName)
{
    FSections.LoadFile(FileName);
}

void TExtIniFile::ParseLines(const QStringList& Lines)
{
    FSections.ParseLines(Lines);
}

QStringList& TExtIniFile::NewSection(const QString& Name)
{
    return FSections.NewSection(Name);
}

void TExtIniFile::ClearAll()
{
    FSections.ClearAll();
}

QString TExtIniFile::ReadEntry(const QString& Section, const QString& Key, const QString& Default)
{
    return FSections.ReadEntry(Section, Key, Default);
}

void TExtIniFile::WriteEntry(const QString& Section, const QString& Key, const QString& Value)
{
    FSections.WriteEntry(Section, Key, Value);
}

void TExtIniFile::ListKeys(const QString& Section, QStringList& Out)
{
    FSections.ListKeys(Section, Out);
}

void TExtIniFile::ListSections(QStringList& Out)
{
    FSections.ListSections(Out);
}

void TExtIniFile::GetSectionLines(const QString& Section, QStringList& Out)
{
    FSections.GetSectionLines(Section, Out);
}

void TExtIniFile::RemoveSection(const QString& Section)
{
    FSections.RemoveSection(Section);
}

void TExtIniFile::RemoveKey(const QString& Section, const QString& Key)
{
    FSections.RemoveKey(Section, Key);
}

void TExtIniFile::Commit()
{
}
