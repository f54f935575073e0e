#include "PrivateMounts.h"

#include "protocol/SystemError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>

namespace {

QString &reason()
{
    static QString text = QStringLiteral("PrivateMounts::enter() was not called");
    return text;
}

QString failure(const char *step)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(step), systemError(errno));
}

} // namespace

namespace PrivateMounts {

void enter()
{
    if (::unshare(CLONE_NEWNS) != 0) {
        reason() = failure("cannot have mounts of its own (unshare)");
        return;
    }
    // Nothing mounted here may reach the rest of the system.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        reason() = failure("cannot make its mounts private");
        return;
    }
    reason().clear();
}

QString unavailableReason()
{
    return reason();
}

QString mountSmallDisk(const QString &folder, qint64 bytes)
{
    const QByteArray options = "size=" + QByteArray::number(bytes);
    if (::mount("leafmark-test", QFile::encodeName(folder).constData(), "tmpfs",
                MS_NOSUID | MS_NODEV, options.constData()) != 0)
        return failure("mount tmpfs");
    return QString();
}

QString makeReadOnly(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mount(native.constData(), native.constData(), nullptr, MS_BIND, nullptr) != 0)
        return failure("bind mount");
    if (::mount(nullptr, native.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) !=
        0)
        return failure("remount read-only");
    return QString();
}

QString unmount(const QString &path)
{
    if (::umount2(QFile::encodeName(path).constData(), MNT_DETACH) != 0)
        return failure("umount");
    return QString();
}

} // namespace PrivateMounts
