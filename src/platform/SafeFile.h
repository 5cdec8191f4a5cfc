#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>

namespace SafeFile {

// Writes the whole file or nothing: the old file is replaced only once the new one is complete
// and synced to the disk. Creates missing parent folders. Returns false on any failure (a full
// disk included), leaving the old file in place.
[[nodiscard]] bool writeAtomically(const QString& path, const QByteArray& bytes);
// The same, for a file made of these pieces in order: a long file is written without being
// joined into one array first.
[[nodiscard]] bool writeAtomically(const QString& path, const QList<QByteArray>& pieces);

// Moves a file that could not be read out of the way, so that the next save cannot overwrite
// what may still be recovered by hand. Returns the new path, or an empty string when the file
// could not be moved.
QString moveAside(const QString& path);

// How long a temporary must have lain unchanged to count as left behind: a save still running
// writes to its temporary all along, and even a slow disk syncs a large file within seconds.
inline constexpr std::chrono::minutes staleTemporaryAge{5};

// Removes the temporaries a killed `writeAtomically` of `path` left next to it: regular files
// named as QSaveFile names them ("<file name>." and six ASCII letters) and unchanged for
// `staleTemporaryAge`. The file itself, folders, links and other names are never touched.
void removeStaleTemporaries(const QString& path);

} // namespace SafeFile
