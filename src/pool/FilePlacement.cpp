#include "pool/FilePlacement.h"

#include "protocol/FileSignature.h"
#include "protocol/SystemError.h"
#include "protocol/UniqueFd.h"
#include "protocol/WriteAll.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

int copyContents(int from, int to)
{
    char chunk[64 * 1024];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(from, chunk, sizeof chunk, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? errno : 0;
        if (const int error = writeAll(to, chunk, got))
            return error;
        offset += got;
    }
}

mode_t modeFor(int folder, const QByteArray &name, mode_t newFileMode)
{
    struct stat status;
    if (::fstatat(folder, name.constData(), &status, 0) == 0 && S_ISREG(status.st_mode))
        return status.st_mode & 07777;
    return newFileMode;
}

// A file with no name yet in the target's folder: a worker killed while it
// writes leaves nothing behind.
int createUnnamedFile(int folder)
{
    return ::openat(folder, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600);
}

QString partFilePrefix()
{
    return QStringLiteral(".leafmark-%1-").arg(::getpid());
}

QByteArray newPartName()
{
    return QFile::encodeName(partFilePrefix()) +
           QByteArray::number(QRandomGenerator::global()->generate(), 36);
}

// A short name of our own beside the target, created exclusively.
int createPartFile(int folder, QByteArray &partName)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        partName = newPartName();
        const int fd =
            ::openat(folder, partName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the written unnamed file a part name, the moment before it is renamed.
int nameUnnamedFile(int fd, int folder, QByteArray &partName)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        partName = newPartName();
        if (::linkat(AT_FDCWD, self.constData(), folder, partName.constData(), AT_SYMLINK_FOLLOW) ==
            0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// umask() can be read only by setting it, which other threads could see.
mode_t umaskOfThisProcess()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        while (!status.atEnd()) {
            const QByteArray line = status.readLine();
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 022;
}

} // namespace

// Everything beside the target goes through a descriptor of its folder, so
// that only the target's own path has to fit within the system's length limit.
QString placeFile(int source, const QString &target)
{
    static const mode_t newFileMode = 0666 & ~umaskOfThisProcess();
    const QByteArray nativeTarget = QFile::encodeName(target);
    const qsizetype slash = nativeTarget.lastIndexOf('/');
    const QByteArray folderPath = slash < 0    ? QByteArrayLiteral(".")
                                  : slash == 0 ? QByteArrayLiteral("/")
                                               : nativeTarget.left(slash);
    const QByteArray name = nativeTarget.mid(slash + 1);

    const UniqueFd folder(::open(folderPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isValid())
        return systemError(errno);
    // File systems without unnamed files get a named part file from the start.
    QByteArray partName;
    UniqueFd output(createUnnamedFile(folder.get()));
    const bool unnamed = output.isValid();
    if (!unnamed)
        output.reset(createPartFile(folder.get(), partName));
    if (!output.isValid())
        return systemError(errno);

    int error = ::fchmod(output.get(), modeFor(folder.get(), name, newFileMode)) == 0 ? 0 : errno;
    if (!error)
        error = copyContents(source, output.get());
    if (!error && ::fsync(output.get()) != 0)
        error = errno;
    if (!error && unnamed)
        error = nameUnnamedFile(output.get(), folder.get(), partName);
    if (!error && ::close(output.release()) != 0)
        error = errno;
    if (!error &&
        ::renameat(folder.get(), partName.constData(), folder.get(), name.constData()) != 0)
        error = errno;
    if (error) {
        if (!partName.isEmpty())
            ::unlinkat(folder.get(), partName.constData(), 0);
        return systemError(error);
    }
    return QString();
}

QString placeThumbnail(const ConversionJob &job, int finishedFile)
{
    const QString outputFolder = job.output.left(job.output.lastIndexOf(QLatin1Char('/')));
    if (!outputFolder.isEmpty() && !QFileInfo(outputFolder).isDir())
        return QStringLiteral("could not write the thumbnail: the folder %1 does not exist")
            .arg(outputFolder);
    if (!job.format.isEmpty() && FileSignature::formatOfDescriptor(finishedFile) != job.format)
        return QStringLiteral("the converter's thumbnail is not %1").arg(job.format);
    if (const QString error = placeFile(finishedFile, job.output); !error.isEmpty())
        return QStringLiteral("could not write the thumbnail: %1").arg(error);
    return QString();
}
