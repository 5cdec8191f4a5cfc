#include "platform/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

#include <unistd.h>

namespace SafeFile {

namespace {

// QSaveFile names its temporary "<file name>." and six random ASCII letters; where the file system
// has no unnamed temporaries, that name lasts the whole write.
constexpr qsizetype temporaryLetters = 6;

bool isTemporaryOf(const QString& name, const QString& fileName)
{
    if (name.size() != fileName.size() + 1 + temporaryLetters || !name.startsWith(fileName) ||
        name.at(fileName.size()) != QLatin1Char('.'))
        return false;
    return std::all_of(name.cend() - temporaryLetters, name.cend(),
                       [](QChar c) { return c.unicode() < 0x80 && c.isLetter(); });
}

} // namespace

bool writeAtomically(const QString& path, const QByteArray& bytes)
{
    return writeAtomically(path, QList<QByteArray>{bytes});
}

bool writeAtomically(const QString& path, const QList<QByteArray>& pieces)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const bool written = std::all_of(pieces.cbegin(), pieces.cend(),
                                     [&file](const QByteArray& piece) { return file.write(piece) == piece.size(); });
    // The commit would still replace the old file when the buffer's last flush fails (a full disk)
    // and ignores a failed sync: every byte must be out and on the disk before it.
    if (!written || !file.flush() || ::fsync(file.handle()) != 0) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString moveAside(const QString& path)
{
    const QString stamp = QString::number(QDateTime::currentMSecsSinceEpoch());
    QString target = path + QStringLiteral(".unreadable-") + stamp;
    // Two failures within one millisecond must not collide.
    for (int n = 1; QFileInfo::exists(target); ++n)
        target = path + QStringLiteral(".unreadable-") + stamp + QLatin1Char('-') + QString::number(n);
    return QFile::rename(path, target) ? target : QString();
}

void removeStaleTemporaries(const QString& path)
{
    const QFileInfo file(path);
    const QString fileName = file.fileName();
    const QDateTime staleBefore =
        QDateTime::currentDateTimeUtc().addSecs(-std::chrono::seconds(staleTemporaryAge).count());
    const QFileInfoList entries = file.absoluteDir().entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        if (isTemporaryOf(entry.fileName(), fileName) && entry.lastModified() < staleBefore)
            QFile::remove(entry.absoluteFilePath());
    }
}

} // namespace SafeFile
