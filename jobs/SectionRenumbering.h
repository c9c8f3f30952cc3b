#pragma once

#include <QString>

#include <functional>

// The job registry's sections hold their values under the keys Job1, Job2 ...
// with no gap: removing a value renumbers the rest. Each is one read of the
// file and one atomic rewrite, however long the section, so that a crash
// leaves the old file or the complete new one.
namespace SectionRenumbering {

// The section's own lines (as ProfileStrings::GetLines reads them) less those
// whose value Drop accepts, under the keys KeyOf(1), KeyOf(2) ... in order,
// each value keeping its bytes, UTF-8 or not; the section moves to the end
// of the file. False when the file could not be read or written, or when a
// text holds a line break.
bool RemoveLines(const QString& FileName, const QString& Section, const std::function<bool(const QString& Value)>& Drop,
                 const std::function<QString(qsizetype Number)>& KeyOf);

// RemoveLines that drops the lines whose value is Value once the case of A
// to Z is ignored (AsciiText::SameText), under the keys KeyPrefix1,
// KeyPrefix2 ... The file holds what RemoveLines would write.
bool RemoveValue(const QString& FileName, const QString& Section, const QString& Value, const QString& KeyPrefix);

} // namespace SectionRenumbering
