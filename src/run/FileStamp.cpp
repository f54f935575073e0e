#include "run/FileStamp.h"

#include <QFile>

#include <ctime>
#include <sys/stat.h>

namespace {

// Longer than the coarsest file-time granularity of the usual file systems.
constexpr qint64 SettleNs = 2'000'000'000;

qint64 nanoseconds(const struct timespec &time)
{
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::optional<FileStamp> stampOf(const struct stat &status)
{
    if (!S_ISREG(status.st_mode))
        return std::nullopt;
    return FileStamp{quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_size),
                     nanoseconds(status.st_mtim), nanoseconds(status.st_ctim)};
}

qint64 nowNs()
{
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

} // namespace

std::optional<FileStamp> FileStamp::ofFile(const QString &path)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return stampOf(status);
}

std::optional<FileStamp> FileStamp::ofDescriptor(int fd)
{
    struct stat status;
    if (::fstat(fd, &status) != 0)
        return std::nullopt;
    return stampOf(status);
}

std::optional<FileStamp> FileStamp::ofSettledFile(const QString &path)
{
    const qint64 now = nowNs();
    const std::optional<FileStamp> stamp = ofFile(path);
    if (!stamp || stamp->modifiedNs > now - SettleNs || stamp->changedNs > now - SettleNs)
        return std::nullopt;
    return stamp;
}
