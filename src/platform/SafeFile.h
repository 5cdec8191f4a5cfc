#pragma once

#include <QByteArray>
#include <QString>

namespace SafeFile {

// Writes the whole file or nothing: the old file is replaced only once the new one is complete
// and synced to the disk. Creates missing parent folders. Returns false on any failure (a full
// disk included), leaving the old file in place.
[[nodiscard]] bool writeAtomically(const QString& path, const QByteArray& bytes);

// Moves a file that could not be read out of the way, so that the next save cannot overwrite
// what may still be recovered by hand. Returns the new path, or an empty string when the file
// could not be moved.
QString moveAside(const QString& path);

} // namespace SafeFile
