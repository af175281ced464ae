#pragma once
// A folder on a small file system of its own, which a test can fill to the last byte: the
// write failures of a full disk, for real. Mounting needs the right to mount (root in a
// container that allows it); where it is refused, mount() says so and the test skips.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

class FullFolder
{
public:
    FullFolder() = default;
    FullFolder(const FullFolder &) = delete;
    FullFolder &operator=(const FullFolder &) = delete;
    ~FullFolder()
    {
        if (!m_folder.isEmpty())
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    }

    // Mounts an empty file system of a few hundred KiB on folder, hiding what it held.
    bool mount(const QString &folder)
    {
        const QByteArray path = QFile::encodeName(folder);
        if (::mount("kestrava-test", path.constData(), "tmpfs", 0, "size=256k,mode=0755") != 0)
            return false;
        m_folder = folder;
        return true;
    }

    // Takes every byte that is left, so that the next write fails for want of room.
    bool fill()
    {
        const QByteArray path = QFile::encodeName(fillerPath());
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd < 0)
            return false;
        const QByteArray block(4096, 'x');
        qint64 written = 0;
        while (::write(fd, block.constData(), size_t(block.size())) > 0)
            written += block.size();
        // The last partial page, if the file system counts smaller than a page.
        while (::write(fd, block.constData(), 1) > 0)
            ++written;
        ::close(fd);
        return written > 0;
    }

    // Gives the room back.
    void release() { QFile::remove(fillerPath()); }

    QString fillerPath() const { return m_folder + QStringLiteral("/filler"); }

private:
    QString m_folder;
};
