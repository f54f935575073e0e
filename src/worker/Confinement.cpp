#include "worker/Confinement.h"

#include "LandlockRuleset.h"
#include "RenderReadSet.h"
#include "protocol/SystemError.h"
#include "protocol/WorkerProtocol.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <linux/filter.h>
#include <linux/landlock.h>
#include <linux/seccomp.h>
#include <linux/userfaultfd.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr __u64 scopeAbstractUnixSocket = 1ULL << 0;
constexpr __u64 scopeSignal = 1ULL << 1;

constexpr __u64 everyAccess = ~0ULL;
constexpr __u64 readAccess = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;

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

QString workingFolderOf(const QString &scratchPath)
{
    return scratchPath + QLatin1Char('/') + QLatin1String(WorkerProtocol::workingFolderName);
}

// The libraries beside the dynamic loader, the programs, and where rendering's
// resources resolve on this machine.
void allowSystemReading(LandlockRuleset &ruleset, const QStringList &programs)
{
    const QString loader = QFileInfo(Confinement::dynamicLoader()).canonicalFilePath();
    ruleset.allow(QFileInfo(loader).path(), readAccess);
    for (const QString &path : RenderReadSet::paths())
        ruleset.allow(path, readAccess);
    for (const QString &program : programs)
        ruleset.allow(program, readAccess);
}

struct Refusal
{
    int call;
    int error;
};

// Calls newer than Debian 12's kernel headers or libseccomp; their numbers
// are the same on every architecture.
constexpr int sysFchmodat2 = 452;
constexpr int sysSetxattrat = 463;
constexpr int sysRemovexattrat = 466;
constexpr int sysOpenTreeAttr = 467;
constexpr int sysFileSetattr = 469;

// Refused whatever their arguments. Sockets and io_uring (it opens sockets of
// its own, out of the filter's sight); tracing; setsid and setpgid, which
// would let a child leave the group that is killed with the worker; metadata
// changes, which Landlock does not cover; programs from memory or by
// descriptor; namespaces and mounts; the kernel's debugging and key
// interfaces; lifting a resource limit; locks and leases, with which a
// document's descriptor would make the user's editor wait.
const Refusal refusals[] = {
    {SCMP_SYS(socket), EACCES},
    {SCMP_SYS(socketpair), EACCES},
    {SCMP_SYS(io_uring_setup), EACCES},
    {SCMP_SYS(ptrace), EACCES},
    {SCMP_SYS(process_vm_readv), EACCES},
    {SCMP_SYS(process_vm_writev), EACCES},
    {SCMP_SYS(pidfd_getfd), EACCES},
    {SCMP_SYS(setsid), EACCES},
    {SCMP_SYS(flock), EACCES},
    {SCMP_SYS(chmod), EPERM},
    {SCMP_SYS(fchmod), EPERM},
    {SCMP_SYS(fchmodat), EPERM},
    {sysFchmodat2, EPERM},
    {SCMP_SYS(chown), EPERM},
    {SCMP_SYS(fchown), EPERM},
    {SCMP_SYS(lchown), EPERM},
    {SCMP_SYS(fchownat), EPERM},
    {SCMP_SYS(utime), EPERM},
    {SCMP_SYS(utimes), EPERM},
    {SCMP_SYS(futimesat), EPERM},
    {SCMP_SYS(utimensat), EPERM},
    {SCMP_SYS(setxattr), EPERM},
    {SCMP_SYS(lsetxattr), EPERM},
    {SCMP_SYS(fsetxattr), EPERM},
    {SCMP_SYS(removexattr), EPERM},
    {SCMP_SYS(lremovexattr), EPERM},
    {SCMP_SYS(fremovexattr), EPERM},
    {sysSetxattrat, EPERM},
    {sysRemovexattrat, EPERM},
    {sysFileSetattr, EPERM},
    {SCMP_SYS(memfd_create), EPERM},
    {SCMP_SYS(memfd_secret), EPERM},
    {SCMP_SYS(execveat), EPERM},
    {SCMP_SYS(unshare), EPERM},
    {SCMP_SYS(setns), EPERM},
    {SCMP_SYS(mount), EPERM},
    {SCMP_SYS(umount2), EPERM},
    {SCMP_SYS(pivot_root), EPERM},
    {SCMP_SYS(chroot), EPERM},
    {SCMP_SYS(open_tree), EPERM},
    {sysOpenTreeAttr, EPERM},
    {SCMP_SYS(move_mount), EPERM},
    {SCMP_SYS(fsopen), EPERM},
    {SCMP_SYS(fsconfig), EPERM},
    {SCMP_SYS(fsmount), EPERM},
    {SCMP_SYS(fspick), EPERM},
    {SCMP_SYS(mount_setattr), EPERM},
    {SCMP_SYS(open_by_handle_at), EPERM},
    {SCMP_SYS(perf_event_open), EPERM},
    {SCMP_SYS(bpf), EPERM},
    {SCMP_SYS(userfaultfd), EPERM},
    {SCMP_SYS(keyctl), EPERM},
    {SCMP_SYS(add_key), EPERM},
    {SCMP_SYS(request_key), EPERM},
    {SCMP_SYS(setrlimit), EPERM},
    // Its arguments sit in memory the filter cannot read; glibc then falls
    // back to clone, whose flags it can.
    {SCMP_SYS(clone3), ENOSYS},
};

constexpr scmp_datum_t namespaceFlags[] = {
    CLONE_NEWNS,   CLONE_NEWCGROUP, CLONE_NEWUTS, CLONE_NEWIPC,
    CLONE_NEWUSER, CLONE_NEWPID,    CLONE_NEWNET,
};

// The kernel reads an ioctl's request as 32 bits; the upper ones must not
// hide it from the filter.
constexpr scmp_datum_t ioctlRequestBits = 0xffffffff;

int addRefusals(scmp_filter_ctx filter)
{
    int result = 0;
    for (const Refusal &refusal : refusals) {
        if (result == 0)
            result = ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(refusal.error), refusal.call, 0);
    }
    for (const scmp_datum_t flag : namespaceFlags) {
        if (result == 0)
            result = ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(clone), 1,
                                        SCMP_A0(SCMP_CMP_MASKED_EQ, flag, flag));
    }
    // Typing into the user's terminal, through its line or the console's.
    for (const scmp_datum_t request : {scmp_datum_t(TIOCSTI), scmp_datum_t(TIOCLINUX)}) {
        if (result == 0)
            result = ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(ioctl), 1,
                                        SCMP_A1(SCMP_CMP_MASKED_EQ, ioctlRequestBits, request));
    }
    // The device's one ioctl; the device itself is not readable either.
    if (result == 0)
        result = ::seccomp_rule_add(
            filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(ioctl), 1,
            SCMP_A1(SCMP_CMP_MASKED_EQ, ioctlRequestBits, scmp_datum_t(USERFAULTFD_IOC_NEW)));
    if (result == 0)
        result = ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(fcntl), 1,
                                    SCMP_A1(SCMP_CMP_EQ, F_SETLEASE));
    // A request's child makes a group of its own, as setpgid(0, 0), and then
    // refuses even that to itself; moving any other process is refused here.
    for (const scmp_arg_cmp argument : {SCMP_A0(SCMP_CMP_NE, 0), SCMP_A1(SCMP_CMP_NE, 0)}) {
        if (result == 0)
            result =
                ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(setpgid), 1, argument);
    }
    // Reading a limit stays allowed: Ghostscript asks for its stack's.
    if (result == 0)
        result = ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(prlimit64), 1,
                                    SCMP_A2(SCMP_CMP_NE, 0));
    return result;
}

// The scratch folder and programs of the reading layer this process has put
// in force, and its children inherit: the same layer again would add nothing.
QStringList readingInForce;

// The filter each request's child puts in force, compiled once by the worker's
// main process: compiling it in every child cost that child's time and the
// pages libseccomp wrote.
std::vector<sock_filter> processGroupFilter;
QString processGroupProblem;

QString compiledInto(scmp_filter_ctx filter, std::vector<sock_filter> &program)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return systemError(errno);
    // A few instructions: far less than the pipe holds, so exporting never waits.
    const int result = ::seccomp_export_bpf(filter, ends[1]);
    ::close(ends[1]);
    QByteArray bytes;
    char chunk[4096];
    ssize_t got;
    while ((got = ::read(ends[0], chunk, sizeof chunk)) > 0)
        bytes.append(chunk, got);
    ::close(ends[0]);
    if (result != 0)
        return systemError(-result);
    if (bytes.isEmpty() || bytes.size() % qsizetype(sizeof(sock_filter)) != 0)
        return QStringLiteral("libseccomp exported no filter");
    program.resize(size_t(bytes.size()) / sizeof(sock_filter));
    std::memcpy(program.data(), bytes.constData(), size_t(bytes.size()));
    return QString();
}

QString compileProcessGroupFilter(std::vector<sock_filter> &program)
{
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_ALLOW);
    if (filter == nullptr)
        return QStringLiteral("libseccomp could not start");
    const int result = ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(setpgid), 0);
    const QString problem = result == 0 ? compiledInto(filter, program) : systemError(-result);
    ::seccomp_release(filter);
    return problem;
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

// Moving a file to another folder is refused by every layer that does not
// allow it there: the worker's main process hands thumbnails over that way.
QString Confinement::restrictReading(const QString &scratchPath, const QStringList &programs)
{
    const QStringList layer = QStringList(scratchPath) + programs;
    if (layer == readingInForce)
        return QString();
    LandlockRuleset ruleset(readAccess | LANDLOCK_ACCESS_FS_REFER);
    if (!ruleset.isValid())
        return ruleset.restrictSelf();
    allowSystemReading(ruleset, programs);
    ruleset.allow(workingFolderOf(scratchPath), readAccess);
    ruleset.allow(scratchPath, LANDLOCK_ACCESS_FS_REFER);
    const QString problem = ruleset.restrictSelf();
    if (problem.isEmpty())
        readingInForce = layer;
    return problem;
}

QString Confinement::restrictWriting(const QString &scratchPath)
{
    const __u64 writeAccess = everyAccess & ~readAccess & ~LANDLOCK_ACCESS_FS_EXECUTE;
    LandlockRuleset ruleset(writeAccess);
    if (!ruleset.isValid())
        return ruleset.restrictSelf();
    if (!ruleset.allow(workingFolderOf(scratchPath), writeAccess) ||
        !ruleset.allow(QStringLiteral("/dev/null"), writeAccess))
        return systemError(errno);
    return ruleset.restrictSelf();
}

void Confinement::narrowReading(const QString &scratchPath, const QStringList &programs)
{
    // A layer binds the thread that puts it in force and the threads it starts.
    const qsizetype threads =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
    if (threads > 1) {
        m_missing << QStringLiteral("narrowed reading (%1 threads already run)").arg(threads);
        return;
    }
    if (const QString problem = restrictReading(scratchPath, programs); !problem.isEmpty()) {
        m_missing << QStringLiteral("narrowed reading (%1)").arg(problem);
        return;
    }
    m_inForce << QStringLiteral("reads only system files and its working folder once started, "
                                "each request in a child of its own that writes only in its "
                                "working folder; documents come open (Landlock)");
}

void Confinement::prepareRequestChildren()
{
    if (processGroupFilter.empty() && processGroupProblem.isEmpty())
        processGroupProblem = compileProcessGroupFilter(processGroupFilter);
}

QString Confinement::keepProcessGroup()
{
    if (processGroupFilter.empty())
        return processGroupProblem.isEmpty() ? QStringLiteral("no filter was compiled")
                                             : processGroupProblem;
    // No new privileges holds already: the worker's own filter needed it.
    const sock_fprog program = {static_cast<unsigned short>(processGroupFilter.size()),
                                processGroupFilter.data()};
    if (::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) != 0)
        return systemError(errno);
    return QString();
}

QString Confinement::dynamicLoader()
{
    QString loader;
    ::dl_iterate_phdr(findInterpreter, &loader);
    return loader;
}

QString Confinement::report() const
{
    QString text =
        QStringLiteral("leafmark-worker: confined: ") + m_inForce.join(QStringLiteral("; "));
    if (!m_missing.isEmpty())
        text += QStringLiteral(". Not in force: ") + m_missing.join(QStringLiteral("; "));
    return text;
}

// Starting a program opens its dynamic loader for execution too, so the
// loader keeps that right; what it could load besides is what can be read.
void Confinement::restrictFiles(const QString &scratchPath, const QStringList &programs)
{
    const int version = LandlockRuleset::abiVersion();
    // The worker has no business with abstract UNIX sockets or with
    // signalling processes it did not start.
    LandlockRuleset ruleset(everyAccess, scopeAbstractUnixSocket | scopeSignal);
    if (!ruleset.isValid()) {
        m_missing << QStringLiteral("Landlock (%1)").arg(ruleset.restrictSelf());
        return;
    }
    QStringList executables = programs;
    executables << dynamicLoader();
    bool ruled =
        ruleset.allow(QStringLiteral("/"), readAccess) &&
        ruleset.allow(scratchPath, everyAccess & ~LANDLOCK_ACCESS_FS_EXECUTE) &&
        ruleset.allow(QStringLiteral("/dev/null"), everyAccess & ~LANDLOCK_ACCESS_FS_EXECUTE);
    for (const QString &program : std::as_const(executables)) {
        ruled = ruled && ruleset.allow(QFileInfo(program).canonicalFilePath(),
                                       LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE);
    }
    const QString problem = ruled ? ruleset.restrictSelf() : systemError(errno);
    if (!problem.isEmpty()) {
        m_missing << QStringLiteral("Landlock (%1)").arg(problem);
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
    if (version >= 5)
        m_inForce << QStringLiteral("no device ioctls (Landlock)");
}

void Confinement::filterSystemCalls()
{
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_ALLOW);
    if (filter == nullptr) {
        m_missing << QStringLiteral("system-call filter (libseccomp could not start)");
        return;
    }
    int result = ::seccomp_attr_set(filter, SCMP_FLTATR_CTL_TSYNC, 1);
    if (result == 0)
        result = addRefusals(filter);
    if (result == 0)
        result = ::seccomp_load(filter);
    ::seccomp_release(filter);
    if (result != 0) {
        m_missing << QStringLiteral("system-call filter (%1)").arg(systemError(-result));
        return;
    }
    m_inForce << QStringLiteral("no sockets, no ptrace, no metadata changes, no namespaces, no "
                                "programs from memory, no raised limits, no locks or leases "
                                "(seccomp)");
}
