#include "hooks/EscapeProbe.h"

#include "protocol/WorkerProtocol.h"
#include "worker/Confinement.h"

#include <QFile>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/random.h>
#include <linux/userfaultfd.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// Runs attempt in a child of its own, so that nothing it does stays with the
// worker: true when it exited 0.
template <typename Attempt> bool succeedsInChild(Attempt attempt)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(attempt() ? 0 : 1);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool exitsZero(pid_t child)
{
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool isOn(const QString &value)
{
    return value == QLatin1String("1");
}

QString rendererReport()
{
    return QFile::decodeName(qgetenv("TMPDIR")) + QStringLiteral("/renderer-escapes");
}

// Descriptors past the standard streams that a renderer or a request's child
// could use against the worker: sockets, pipes, the document.
QStringList heldDescriptors(bool pipesToo)
{
    QStringList held;
    for (int fd = 3; fd < 1024; ++fd) {
        struct stat status;
        if (::fstat(fd, &status) != 0)
            continue;
        if (S_ISSOCK(status.st_mode))
            held << QStringLiteral("held a socket");
        else if (pipesToo && S_ISFIFO(status.st_mode))
            held << QStringLiteral("held a pipe");
        else if (pipesToo && S_ISREG(status.st_mode))
            held << QStringLiteral("held a file");
    }
    held.removeDuplicates();
    return held;
}

} // namespace

EscapeProbe::EscapeProbe(const QByteArray &setting)
{
    for (const QByteArray &line : setting.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = line.left(equals);
        const QString value = QFile::decodeName(line.mid(equals + 1));
        if (key == "on")
            m_marker = value;
        else if (key == "create")
            m_folders << value;
        else if (key == "tcp")
            m_tcpPort = value.toUShort();
        else if (key == "udp")
            m_udpPort = value.toUShort();
        else if (key == "unix")
            m_unixSocket = value;
        else if (key == "run")
            m_program = value;
        else if (key == "read")
            m_readTargets << value;
        else if (key == "chmod")
            m_chmodTarget = value;
        else if (key == "chown")
            m_chownTarget = value;
        else if (key == "touch")
            m_touchTarget = value;
        else if (key == "xattr")
            m_xattrTarget = value;
        else if (key == "loader")
            m_loaderProgram = value;
        else if (key == "memfd")
            m_memfdProgram = value;
        else if (key == "unshare")
            m_unshare = value == QLatin1String("1");
        else if (key == "limit")
            m_limit = isOn(value);
        else if (key == "sockets")
            m_sockets = isOn(value);
        else if (key == "lease")
            m_lease = isOn(value);
        else if (key == "ioctl")
            m_ioctl = isOn(value);
        else if (key == "userfaultfd")
            m_userfaultfd = isOn(value);
        else if (key == "fill")
            m_fill = isOn(value);
        else if (key == "forks")
            m_forks = value.toInt();
        else if (key == "leave")
            m_leave = isOn(value);
        else if (key == "leavegroup")
            m_leaveGroup = isOn(value);
        else if (key == "finished")
            m_finished = isOn(value);
        else if (key == "renderer")
            m_renderer = isOn(value);
        else if (key == "env")
            m_variable = line.mid(equals + 1);
        else if (key == "in")
            m_inMain = value == QLatin1String("main");
    }
}

QString EscapeProbe::operator()(const QString &inputPath) const
{
    if (m_marker.isEmpty() || !inputPath.contains(m_marker))
        return QString();
    QStringList escapes;
    for (const QString &folder : m_folders)
        escapes << tryCreating(folder);
    if (m_tcpPort != 0)
        escapes << tryInternet(SOCK_STREAM, m_tcpPort);
    if (m_udpPort != 0)
        escapes << tryInternet(SOCK_DGRAM, m_udpPort);
    if (!m_unixSocket.isEmpty())
        escapes << tryUnixSocket(m_unixSocket);
    if (!m_program.isEmpty())
        escapes << tryRunning(m_program);
    for (const QString &path : m_readTargets)
        escapes << tryReading(path);
    escapes << tryChangingMetadata();
    if (!m_loaderProgram.isEmpty())
        escapes << tryRunningThroughLoader(m_loaderProgram);
    if (!m_memfdProgram.isEmpty())
        escapes << tryRunningFromMemory(m_memfdProgram);
    if (m_unshare)
        escapes << tryNamespaces();
    if (m_limit)
        escapes << tryRaisingMemoryLimit();
    if (m_sockets)
        escapes << tryHoldingSockets();
    if (m_lease)
        escapes << tryLeasing();
    if (m_ioctl)
        escapes << tryDeviceIoctl();
    if (m_userfaultfd)
        escapes << tryUserfaultfd();
    if (m_fill)
        escapes << tryFillingDisk();
    if (m_forks > 0)
        escapes << tryForking();
    if (m_leave || m_leaveGroup)
        escapes << tryLeavingBehind();
    if (m_finished)
        escapes << tryReachingFinished();
    if (m_renderer)
        escapes << whatTheRendererGot();
    if (!m_variable.isEmpty())
        escapes << tryEnvironment();
    escapes.removeAll(QString());
    return escapes.join(QStringLiteral("; "));
}

QString EscapeProbe::tryCreating(const QString &folder) const
{
    const QString path = folder + QStringLiteral("/leafmark-escaped");
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return QString();
    ::close(fd);
    return QStringLiteral("created %1").arg(path);
}

QString EscapeProbe::tryInternet(int type, quint16 port) const
{
    const QString kind = type == SOCK_STREAM ? QStringLiteral("TCP") : QStringLiteral("UDP");
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return QString();
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::send(fd, "escaped", 7, 0) == 7;
    ::close(fd);
    return QStringLiteral("opened a %1 socket%2").arg(kind, connected ? " and sent" : "");
}

QString EscapeProbe::tryUnixSocket(const QString &path) const
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return QString();
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::strncpy(address.sun_path, name.constData(), sizeof address.sun_path - 1);
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return QStringLiteral("opened a UNIX socket%1").arg(connected ? " and connected" : "");
}

QString EscapeProbe::tryRunning(const QString &program) const
{
    const QByteArray path = QFile::encodeName(program);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(path.constData(), path.constData(), "-c", "exit 0", nullptr);
        ::_exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return QString();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return QStringLiteral("started %1").arg(program);
    return QString();
}

// A terminal counts once it opens: what is typed could then be read.
QString EscapeProbe::tryReading(const QString &path) const
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return QString();
    ::close(fd);
    return QStringLiteral("read %1").arg(path);
}

// Where the thumbnails of other documents wait for the window's process,
// found as a document would find it: beside its temporary folder.
QString EscapeProbe::tryReachingFinished() const
{
    const QByteArray finished = qgetenv("TMPDIR") + "/../" + WorkerProtocol::finishedFolderName;
    QStringList reached;
    if (DIR *listing = ::opendir(finished.constData())) {
        ::closedir(listing);
        reached << QStringLiteral("listed the finished thumbnails");
    }
    const QByteArray forged = finished + "/" + WorkerProtocol::resultName(0);
    const int fd = ::open(forged.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(forged.constData());
        reached << QStringLiteral("wrote a finished thumbnail");
    }
    return reached.join(QStringLiteral("; "));
}

QString EscapeProbe::tryChangingMetadata() const
{
    QStringList changed;
    if (!m_chmodTarget.isEmpty() &&
        ::chmod(QFile::encodeName(m_chmodTarget).constData(), 0666) == 0)
        changed << QStringLiteral("changed the mode of %1").arg(m_chmodTarget);
    if (!m_chownTarget.isEmpty() &&
        ::chown(QFile::encodeName(m_chownTarget).constData(), ::geteuid(), ::getegid()) == 0)
        changed << QStringLiteral("changed the owner of %1").arg(m_chownTarget);
    const timespec epoch[2] = {{0, 0}, {0, 0}};
    if (!m_touchTarget.isEmpty() &&
        ::utimensat(AT_FDCWD, QFile::encodeName(m_touchTarget).constData(), epoch, 0) == 0)
        changed << QStringLiteral("changed the times of %1").arg(m_touchTarget);
    if (!m_xattrTarget.isEmpty() && ::setxattr(QFile::encodeName(m_xattrTarget).constData(),
                                               "user.leafmark", "escaped", 7, 0) == 0)
        changed << QStringLiteral("set an attribute on %1").arg(m_xattrTarget);
    return changed.join(QStringLiteral("; "));
}

QString EscapeProbe::tryRunningThroughLoader(const QString &program) const
{
    const QByteArray loader = QFile::encodeName(Confinement::dynamicLoader());
    const QByteArray path = QFile::encodeName(program);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(loader.constData(), loader.constData(), path.constData(), "--version", nullptr);
        ::_exit(127);
    }
    if (!exitsZero(child))
        return QString();
    return QStringLiteral("started %1 through the loader").arg(program);
}

QString EscapeProbe::tryRunningFromMemory(const QString &program) const
{
    QFile file(program);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = file.readAll();
    const QByteArray name = QFile::encodeName(program);
    const bool started = succeedsInChild([&] {
        const int fd = static_cast<int>(::syscall(SYS_memfd_create, "escape", 0));
        if (fd < 0 || ::write(fd, bytes.constData(), bytes.size()) != bytes.size())
            return false;
        char *const argv[] = {const_cast<char *>(name.constData()), const_cast<char *>("--version"),
                              nullptr};
        const pid_t child = ::fork();
        if (child == 0) {
            ::fexecve(fd, argv, environ);
            ::_exit(127);
        }
        return exitsZero(child);
    });
    return started ? QStringLiteral("started %1 from memory").arg(program) : QString();
}

QString EscapeProbe::tryNamespaces() const
{
    QStringList made;
    if (succeedsInChild([] { return ::unshare(CLONE_NEWUSER) == 0; }))
        made << QStringLiteral("made a user namespace with unshare");
    const bool cloned = succeedsInChild([] {
        const auto child = static_cast<pid_t>(
            ::syscall(SYS_clone, CLONE_NEWUSER | SIGCHLD, nullptr, nullptr, nullptr, nullptr));
        if (child == 0)
            ::_exit(0);
        return exitsZero(child);
    });
    if (cloned)
        made << QStringLiteral("made a user namespace with clone");
    return made.join(QStringLiteral("; "));
}

QString EscapeProbe::tryRaisingMemoryLimit() const
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return QString();
    const rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY};
    if (::setrlimit(RLIMIT_AS, &unlimited) != 0)
        return QString();
    return QStringLiteral("raised its memory limit");
}

void EscapeProbe::actAsRenderer() const
{
    if (!m_renderer)
        return;
    const QByteArray held = heldDescriptors(true).join(QStringLiteral("; ")).toUtf8();
    QFile report(rendererReport());
    if (report.open(QIODevice::WriteOnly))
        report.write(held);
}

QString EscapeProbe::whatTheRendererGot() const
{
    QFile report(rendererReport());
    if (!report.open(QIODevice::ReadOnly))
        return QStringLiteral("the renderer never ran");
    const QString held = QString::fromUtf8(report.readAll());
    return held.isEmpty() ? QString() : QStringLiteral("the renderer ") + held;
}

QString EscapeProbe::tryHoldingSockets() const
{
    return heldDescriptors(false).join(QStringLiteral("; "));
}

QString EscapeProbe::tryLeasing() const
{
    QStringList got;
    for (int fd = 3; fd < 1024; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0)
            continue;
        if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
            got << QStringLiteral("took a lease");
            ::fcntl(fd, F_SETLEASE, F_UNLCK);
        }
        if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
            got << QStringLiteral("took a lock");
            ::flock(fd, LOCK_UN);
        }
    }
    got.removeDuplicates();
    return got.join(QStringLiteral("; "));
}

QString EscapeProbe::tryDeviceIoctl() const
{
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    int entropy = 0;
    const bool answered = fd >= 0 && ::ioctl(fd, RNDGETENTCNT, &entropy) == 0;
    if (fd >= 0)
        ::close(fd);
    return answered ? QStringLiteral("used a device's ioctl") : QString();
}

QString EscapeProbe::tryUserfaultfd() const
{
    const int device = ::open("/dev/userfaultfd", O_RDONLY | O_CLOEXEC);
    if (device < 0)
        return QString();
    const int fd = ::ioctl(device, USERFAULTFD_IOC_NEW, O_CLOEXEC);
    ::close(device);
    if (fd < 0)
        return QStringLiteral("opened /dev/userfaultfd");
    ::close(fd);
    return QStringLiteral("got a userfaultfd");
}

// Sparse, so that getting through costs no disk.
QString EscapeProbe::tryFillingDisk() const
{
    const QByteArray path =
        QFile::encodeName(QFile::decodeName(qgetenv("TMPDIR")) + QStringLiteral("/leafmark-fill"));
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return QString();
    const bool written = ::pwrite(fd, "x", 1, off_t(2) << 30) == 1;
    ::close(fd);
    ::unlink(path.constData());
    return written ? QStringLiteral("wrote past 2 GiB") : QString();
}

// Every process waits until the request ends; they go with its group.
QString EscapeProbe::tryForking() const
{
    int started = 0;
    while (started < m_forks) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (;;)
                ::pause();
        }
        if (child < 0)
            break;
        ++started;
    }
    return started == m_forks ? QStringLiteral("started %1 processes").arg(started) : QString();
}

// Whether it outlives the reply shows only from outside, after the next one.
QString EscapeProbe::tryLeavingBehind() const
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (m_leaveGroup)
            ::setpgid(0, 0);
        for (;;)
            ::pause();
    }
    return QString();
}

QString EscapeProbe::tryEnvironment() const
{
    return qEnvironmentVariableIsSet(m_variable.constData())
               ? QStringLiteral("saw %1").arg(QString::fromLatin1(m_variable))
               : QString();
}
