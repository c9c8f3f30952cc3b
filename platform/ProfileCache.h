#pragma once

#include "platform/ProfileFile.h"

#include <functional>
#include <memory>

// The last profile file read, kept in memory while the file on disk stays
// the same, and the one way to change a file: every change forgets it first.
namespace ProfileCache {

using TFile = std::shared_ptr<const ProfileFile::TProfileFile>;

// The file as it is on disk; a missing file reads as an empty one. Null when
// the file cannot be read.
TFile Read(const QString& FileName);

// The lines of a section of the file that Read gave last: the job list asks
// for one position at a time.
std::optional<QList<ProfileStrings::TProfileLine>> Kept(const TFile& File, const QString& Section);
void Keep(const TFile& File, const QString& Section, const QList<ProfileStrings::TProfileLine>& Lines);

void Forget();

// Forget, then Edit the file as read and write the result as one atomic
// rewrite, unless it holds the bytes read. False when the file could not be
// read or written.
bool Change(const QString& FileName, const std::function<void(ProfileFile::TProfileFile& File)>& Edit);

} // namespace ProfileCache
