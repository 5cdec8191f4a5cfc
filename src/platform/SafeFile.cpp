#include "platform/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

namespace SafeFile {

bool writeAtomically(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The commit would still replace the old file when the buffer's last flush fails (a full disk)
    // and ignores a failed sync: every byte must be out and on the disk before it.
    if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) {
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

} // namespace SafeFile
