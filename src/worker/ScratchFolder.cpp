#include "worker/ScratchFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString kindProblem(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder");
    if (!S_ISREG(mode))
        return QStringLiteral("it is not a regular file");
    return QString();
}

} // namespace

ScratchFolder::OpenedFile::OpenedFile(int fd, FileIdentity identity)
    : m_fd(fd), m_identity(identity)
{
}

ScratchFolder::OpenedFile::~OpenedFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

ScratchFolder::OpenedFile::OpenedFile(OpenedFile &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_identity(other.m_identity)
{
}

ScratchFolder::OpenedFile &ScratchFolder::OpenedFile::operator=(OpenedFile &&other) noexcept
{
    std::swap(m_fd, other.m_fd);
    std::swap(m_identity, other.m_identity);
    return *this;
}

ScratchFolder::ScratchFolder(QString path) : m_path(std::move(path)) {}

QString ScratchFolder::filePath(const QString &name) const
{
    return m_path + QLatin1Char('/') + name;
}

// Non-blocking, so that a named pipe given as a PDF cannot stall the worker;
// inheritable, so that Ghostscript reaches the file through the same link.
ScratchFolder::OpenedFile ScratchFolder::openAs(const QString &target, const QString &name,
                                                QString *reason) const
{
    const int fd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        *reason = systemError(errno);
        return {};
    }
    struct stat status = {};
    if (::fstat(fd, &status) != 0) {
        *reason = systemError(errno);
        ::close(fd);
        return {};
    }
    OpenedFile file(fd, *FileIdentity::ofDescriptor(fd));
    if (*reason = kindProblem(status.st_mode); !reason->isEmpty())
        return {};
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    if (::symlink(link.constData(), QFile::encodeName(filePath(name)).constData()) != 0) {
        *reason = systemError(errno);
        return {};
    }
    return file;
}

void ScratchFolder::clear(const QString &kept) const
{
    const QFileInfoList entries = QDir(m_path).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        if (entry.filePath() == kept)
            continue;
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
}
