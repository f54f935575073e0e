#include "pool/FileIdentity.h"

#include <QFile>

#include <sys/stat.h>

namespace {

FileIdentity identityOf(const struct stat &status)
{
    return {quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_size),
            qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

} // namespace

std::optional<FileIdentity> FileIdentity::ofDescriptor(int fd)
{
    struct stat status;
    if (::fstat(fd, &status) != 0)
        return std::nullopt;
    return identityOf(status);
}

std::optional<FileIdentity> FileIdentity::ofPath(const QString &path)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return identityOf(status);
}
