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
// On failure nothing is left behind, the old file is untouched, and
// ErrorText (when given) receives the system's reason.
bool Write(const QString& FileName, const QByteArray& Content, QString* ErrorText = nullptr);

// Writes Content to a new file named Prefix and six random letters or digits,
// with the permission bits Mode, and syncs it; for a rename or link beside it,
// Prefix names a file in the target's folder. Returns the new file's path.
// On failure nothing is left behind, the result is empty, and ErrorText (when
// given) receives the system's reason.
QString WriteTemporary(const QString& Prefix, const QByteArray& Content, mode_t Mode, QString* ErrorText = nullptr);

// Makes a rename, link or unlink in Folder durable; failures are ignored,
// since the change itself has already happened.
void SyncFolder(const QString& Folder);

} // namespace AtomicFile
