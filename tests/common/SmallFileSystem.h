#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/mount.h>

// A real, tiny file system (tmpfs) mounted on a temporary folder, so that a test can fill it or
// make it read-only: the only way to refuse root a write. Mounting needs root; `isMounted` tells.
class SmallFileSystem {
public:
    explicit SmallFileSystem(qint64 bytes = 64 * 1024)
        : m_mounted(m_dir.isValid() &&
                    ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                            QByteArray("size=" + QByteArray::number(bytes)).constData()) == 0)
    {
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    [[nodiscard]] bool isMounted() const { return m_mounted; }
    [[nodiscard]] QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // Takes every free byte with one file; true once a write ran out of space.
    [[nodiscard]] bool fill() const
    {
        QFile filler(m_dir.filePath(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(512, 'f');
        while (filler.write(block) == block.size()) {
        }
        return true;
    }

    [[nodiscard]] bool setReadOnly(bool readOnly) const
    {
        const unsigned long flags =
            MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? static_cast<unsigned long>(MS_RDONLY) : 0UL);
        return ::mount(nullptr, QFile::encodeName(m_dir.path()).constData(), nullptr, flags, nullptr) == 0;
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted;
};
