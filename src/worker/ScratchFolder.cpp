#include "worker/ScratchFolder.h"

#include "protocol/SystemError.h"
#include "protocol/UniqueFd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString kindProblem(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder");
    if (!S_ISREG(mode))
        return QStringLiteral("it is not a regular file");
    return QString();
}

} // namespace

ScratchFolder::ScratchFolder(QString path) : m_path(std::move(path)) {}

QString ScratchFolder::filePath(const QString &name) const
{
    return m_path + QLatin1Char('/') + name;
}

QString ScratchFolder::copyIn(int fd, const QString &name) const
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        return systemError(errno);
    if (const QString problem = kindProblem(status.st_mode); !problem.isEmpty())
        return problem;
    const UniqueFd copy(::open(QFile::encodeName(filePath(name)).constData(),
                               O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!copy.isValid())
        return systemError(errno);
    off_t offset = 0;
    int error = 0;
    for (;;) {
        const ssize_t sent = ::sendfile(copy.get(), fd, &offset, 1 << 30);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0)
            error = errno;
        if (sent <= 0)
            break;
    }
    return error ? systemError(error) : QString();
}

void ScratchFolder::clear(const QString &kept) const
{
    const QFileInfoList entries = QDir(m_path).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        if (!kept.isEmpty() && entry.fileName() == kept)
            continue;
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
}
