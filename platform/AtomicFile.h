#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace AtomicFile {

// Replaces the whole content of FileName so that the file always holds either
// the old or the new content, whatever happens to the process or the disk: the
// bytes go to a temporary file in the same folder, are synced, and the
// temporary file is renamed over the target; the folder is synced last.
// An existing file keeps its permission bits; a symbolic link is followed.
// The first write to a file in a process removes the stale temporary files
// of earlier writes to it (see RemoveStaleTemporaries).
// On failure nothing is left behind, the old file is untouched, and
// ErrorText (when given) receives the system's reason.
bool Write(const QString& FileName, const QByteArray& Content, QString* ErrorText = nullptr);

// Writes Content to a new file named Prefix and six random letters or digits,
// with the permission bits Mode, and syncs it; for a rename or link beside it,
// Prefix names a file in the target's folder. Returns the new file's path.
// On failure nothing is left behind, the result is empty, and ErrorText (when
// given) receives the system's reason. The file is locked (flock) while it is
// written, so that RemoveStaleTemporaries leaves it alone.
QString WriteTemporary(const QString& Prefix, const QByteArray& Content, mode_t Mode, QString* ErrorText = nullptr);

// A temporary file that nobody has locked or changed for this long was left
// by a writer that died (a kill, a crash, a power cut).
constexpr int StaleAfterSeconds = 2;

// Removes, from Folder, the temporary files that writers which died left
// behind: regular files of the effective user named NamePrefix (a file name,
// no folder) and six letters or digits, whose lock nobody holds and which
// have not changed for MinAgeSeconds. Symbolic links and anything else are
// left alone; nothing is followed through a link. A caller that holds a lock
// of its own that every writer takes passes 0. Returns how many it removed.
int RemoveStaleTemporaries(const QString& Folder, const QString& NamePrefix, int MinAgeSeconds = StaleAfterSeconds);

// Makes a rename, link or unlink in Folder durable; failures are ignored,
// since the change itself has already happened.
void SyncFolder(const QString& Folder);

} // namespace AtomicFile
