#include "pool/CheckedFile.h"

#include "protocol/SystemError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace CheckedFile {

namespace {

constexpr int openFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

QString sizeText(qint64 bytes)
{
    return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
}

UniqueFd checked(UniqueFd file, qint64 maxSize, QString *problem)
{
    struct stat status = {};
    if (!file.isValid() || ::fstat(file.get(), &status) != 0) {
        *problem = errno == ELOOP ? QStringLiteral("it is a symbolic link") : systemError(errno);
        return {};
    }
    if (S_ISDIR(status.st_mode))
        *problem = QStringLiteral("it is a folder");
    else if (!S_ISREG(status.st_mode))
        *problem = QStringLiteral("it is not a regular file");
    else if (status.st_size > maxSize)
        *problem = QStringLiteral("it is larger than %1").arg(sizeText(maxSize));
    else
        return file;
    return {};
}

// Reads no more than one byte past the limit, whatever the file grows to.
QString copyBounded(int from, int to, qint64 maxSize)
{
    char chunk[64 * 1024];
    qint64 copied = 0;
    for (;;) {
        const ssize_t got = ::read(from, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return systemError(errno);
        if (got == 0)
            return QString();
        copied += got;
        if (copied > maxSize)
            return QStringLiteral("it is larger than %1").arg(sizeText(maxSize));
        for (ssize_t written = 0; written < got;) {
            const ssize_t put = ::write(to, chunk + written, got - written);
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return systemError(errno);
            written += put;
        }
    }
}

} // namespace

UniqueFd openRegular(const QString &path, qint64 maxSize, QString *problem)
{
    return checked(UniqueFd(::open(QFile::encodeName(path).constData(), openFlags)), maxSize,
                   problem);
}

UniqueFd copyOfWorkerFile(int folder, const char *name, qint64 maxSize, QString *problem)
{
    const UniqueFd file =
        checked(UniqueFd(::openat(folder, name, openFlags | O_NOFOLLOW)), maxSize, problem);
    if (!file.isValid())
        return {};
    UniqueFd copy(::memfd_create("leafmark-thumbnail", MFD_CLOEXEC));
    if (!copy.isValid()) {
        *problem = systemError(errno);
        return {};
    }
    if (*problem = copyBounded(file.get(), copy.get(), maxSize); !problem->isEmpty())
        return {};
    return copy;
}

} // namespace CheckedFile
