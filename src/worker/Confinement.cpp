#include "worker/Confinement.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <linux/landlock.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Landlock rights and fields newer than Debian 12's kernel headers; the kernel
// reports which of them it knows through its ABI version.
constexpr __u64 accessFsTruncate = 1ULL << 14;
constexpr __u64 scopeAbstractUnixSocket = 1ULL << 0;
constexpr __u64 scopeSignal = 1ULL << 1;

// The ruleset attribute as of ABI 6; older kernels take a shorter prefix of it.
struct RulesetAttribute
{
    __u64 handledAccessFs = 0;
    __u64 handledAccessNet = 0;
    __u64 scoped = 0;
};

constexpr __u64 readAccess = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
constexpr __u64 fileOnlyAccess = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
                                 LANDLOCK_ACCESS_FS_READ_FILE | accessFsTruncate;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

int landlockVersion()
{
    return static_cast<int>(
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION));
}

__u64 handledAccess(int version)
{
    __u64 access = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;
    if (version >= 2)
        access |= LANDLOCK_ACCESS_FS_REFER;
    if (version >= 3)
        access |= accessFsTruncate;
    return access;
}

RulesetAttribute rulesetFor(int version, size_t *size)
{
    RulesetAttribute attribute;
    attribute.handledAccessFs = handledAccess(version);
    *size = sizeof attribute.handledAccessFs;
    // The worker has no business with abstract UNIX sockets or with signalling
    // processes it did not start.
    if (version >= 6) {
        attribute.scoped = scopeAbstractUnixSocket | scopeSignal;
        *size = sizeof attribute;
    }
    return attribute;
}

bool allow(int ruleset, const QString &path, __u64 access)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return false;
    landlock_path_beneath_attr rule = {};
    rule.allowed_access = access;
    rule.parent_fd = fd;
    const bool added =
        ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
    ::close(fd);
    return added;
}

int findInterpreter(dl_phdr_info *info, size_t, void *data)
{
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type == PT_INTERP) {
            *static_cast<QString *>(data) = QString::fromLocal8Bit(
                reinterpret_cast<const char *>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr));
            return 1;
        }
    }
    return 0;
}

// Starting a program opens its dynamic loader for execution too; Ghostscript
// and potrace use the one this program uses.
QString dynamicLoader()
{
    QString loader;
    ::dl_iterate_phdr(findInterpreter, &loader);
    return loader;
}

} // namespace

Confinement Confinement::apply(const QString &scratchPath, const QStringList &programs)
{
    Confinement confinement;
    // Needed by both of the others when not privileged, and it keeps a
    // set-user-ID program from lifting either.
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0)
        confinement.m_inForce << QStringLiteral("no new privileges");
    else
        confinement.m_missing << QStringLiteral("no new privileges (%1)").arg(systemError(errno));
    confinement.restrictFiles(scratchPath, programs);
    confinement.filterSystemCalls();
    // Whoever started the worker as the first process of a PID namespace
    // made user and network namespaces for it with it.
    if (::getpid() == 1)
        confinement.m_inForce << QStringLiteral("own user, PID and network namespaces");
    else
        confinement.m_missing << QStringLiteral("own namespaces (not started in them)");
    return confinement;
}

QString Confinement::report() const
{
    QString text =
        QStringLiteral("leafmark-worker: confined: ") + m_inForce.join(QStringLiteral("; "));
    if (!m_missing.isEmpty())
        text += QStringLiteral(". Not in force: ") + m_missing.join(QStringLiteral("; "));
    return text;
}

void Confinement::restrictFiles(const QString &scratchPath, const QStringList &programs)
{
    const int version = landlockVersion();
    if (version < 1) {
        m_missing << QStringLiteral("Landlock (the kernel does not offer it: %1)")
                         .arg(systemError(errno));
        return;
    }
    size_t size = 0;
    const RulesetAttribute attribute = rulesetFor(version, &size);
    const int ruleset =
        static_cast<int>(::syscall(SYS_landlock_create_ruleset, &attribute, size, 0));
    if (ruleset < 0) {
        m_missing << QStringLiteral("Landlock (%1)").arg(systemError(errno));
        return;
    }
    const __u64 handled = attribute.handledAccessFs;
    QStringList executables = programs;
    executables << dynamicLoader();
    bool ruled = allow(ruleset, QStringLiteral("/"), readAccess) &&
                 allow(ruleset, scratchPath, handled & ~LANDLOCK_ACCESS_FS_EXECUTE) &&
                 allow(ruleset, QStringLiteral("/dev/null"),
                       handled & fileOnlyAccess & ~LANDLOCK_ACCESS_FS_EXECUTE);
    for (const QString &program : std::as_const(executables)) {
        ruled =
            ruled && allow(ruleset, QFileInfo(program).canonicalFilePath(),
                           handled & (LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE));
    }
    const bool restricted = ruled && ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    const int error = errno;
    ::close(ruleset);
    if (!restricted) {
        m_missing << QStringLiteral("Landlock (%1)").arg(systemError(error));
        return;
    }
    QStringList names;
    for (const QString &program : programs)
        names << QFileInfo(program).fileName();
    const QString started =
        names.isEmpty() ? QStringLiteral("starts no program")
                        : QStringLiteral("starts only ") + names.join(QStringLiteral(" and "));
    m_inForce << QStringLiteral("writes only in %1, %2 (Landlock ABI %3)")
                     .arg(scratchPath, started)
                     .arg(version);
}

// io_uring is refused with the sockets because it opens and connects sockets
// of its own, out of the filter's sight; setsid and setpgid would let a child
// leave the process group that is killed with the worker.
void Confinement::filterSystemCalls()
{
    static const int refused[] = {
        SCMP_SYS(socket), SCMP_SYS(socketpair),       SCMP_SYS(io_uring_setup),
        SCMP_SYS(ptrace), SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev),
        SCMP_SYS(setsid), SCMP_SYS(setpgid),
    };
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_ALLOW);
    if (filter == nullptr) {
        m_missing << QStringLiteral("system-call filter (libseccomp could not start)");
        return;
    }
    int result = ::seccomp_attr_set(filter, SCMP_FLTATR_CTL_TSYNC, 1);
    for (const int call : refused) {
        if (result == 0)
            result = ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), call, 0);
    }
    if (result == 0)
        result = ::seccomp_load(filter);
    ::seccomp_release(filter);
    if (result != 0) {
        m_missing << QStringLiteral("system-call filter (%1)").arg(systemError(-result));
        return;
    }
    m_inForce << QStringLiteral("no sockets, no ptrace (seccomp)");
}
