#include "ScratchFolder.h"

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

QString unreadableReason(const QByteArray &path)
{
    // Non-blocking, so that a named pipe given as a PDF cannot stall the worker.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return systemError(errno);
    struct stat status = {};
    const int statError = ::fstat(fd, &status) == 0 ? 0 : errno;
    ::close(fd);
    if (statError != 0)
        return systemError(statError);
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("it is a folder");
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("it is not a regular file");
    return QString();
}

} // namespace

ScratchFolder::ScratchFolder(QString path) : m_path(std::move(path)) {}

QString ScratchFolder::filePath(const QString &name) const
{
    return m_path + QLatin1Char('/') + name;
}

QString ScratchFolder::linkToFile(const QString &target, const QString &name) const
{
    const QByteArray nativeTarget = QFile::encodeName(target);
    if (const QString reason = unreadableReason(nativeTarget); !reason.isEmpty())
        return reason;
    if (::symlink(nativeTarget.constData(), QFile::encodeName(filePath(name)).constData()) != 0)
        return systemError(errno);
    return QString();
}

void ScratchFolder::clear() const
{
    const QFileInfoList entries = QDir(m_path).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
}
