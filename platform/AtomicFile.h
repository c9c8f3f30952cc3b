#pragma once

#include <QByteArray>
#include <QString>

namespace AtomicFile {

// Replaces the whole content of FileName so that the file always holds either
// the old or the new content, whatever happens to the process or the disk: the
// bytes go to a temporary file in the same folder, are synced, and the
// temporary file is renamed over the target; the folder is synced last.
// An existing file keeps its permission bits; a symbolic link is followed.
// On failure nothing is left behind, the old file is untouched, and
// ErrorText (when given) receives the system's reason.
bool Write(const QString& FileName, const QByteArray& Content, QString* ErrorText = nullptr);

} // namespace AtomicFile
