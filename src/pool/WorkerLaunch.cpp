#include "pool/WorkerLaunch.h"

#include "protocol/SystemError.h"
#include "protocol/UniqueFd.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Far above any thumbnail or copied PDF, far below a full disk: a write past it
// fails, since the signal that would end the writer is ignored.
constexpr rlim_t fileSizeLimit = rlim_t(5) << 28;

// Variables passed on as they are; nothing else of this process's environment
// (its secrets, DISPLAY, the session's bus) reaches a worker.
const char *const passedNames[] = {"PATH", "LANG", "LANGUAGE", "TZ"};
// Locale categories, the tests' worker switches, the sanitizers' options, and
// where ImageMagick and Ghostscript look for their configuration and fonts.
const char *const passedPrefixes[] = {"LC_", "LEAFMARK_WORKER_", "MAGICK_", "GS_"};
const char *const passedSuffixes[] = {"SAN_OPTIONS"};

bool passedOn(const QByteArray &entry)
{
    const QByteArray name = entry.left(entry.indexOf('='));
    for (const char *passed : passedNames) {
        if (name == passed)
            return true;
    }
    for (const char *prefix : passedPrefixes) {
        if (name.startsWith(prefix))
            return true;
    }
    for (const char *suffix : passedSuffixes) {
        if (name.endsWith(suffix))
            return true;
    }
    return false;
}

// Huge pages for malloc's heap: a request's child then copies a few large
// pages of the warm interpreter instead of thousands of small ones, about an
// eighth less CPU per PDF for the same pixels. Where the kernel has no
// transparent huge pages it changes nothing.
const char *const fixedEntries[] = {"GLIBC_TUNABLES=glibc.malloc.hugetlb=1"};

std::vector<QByteArray> workerEnvironment(std::vector<QByteArray> environment)
{
    std::erase_if(environment, [](const QByteArray &entry) { return !passedOn(entry); });
    environment.insert(environment.end(), std::begin(fixedEntries), std::end(fixedEntries));
    return environment;
}

// A worker's own threads count too: ImageMagick starts one for each core.
rlim_t processLimit()
{
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    return rlim_t(128 + 2 * std::max(cores, 1L));
}

std::vector<char *> pointersTo(std::vector<QByteArray> &strings)
{
    std::vector<char *> pointers;
    for (QByteArray &string : strings)
        pointers.push_back(string.data());
    pointers.push_back(nullptr);
    return pointers;
}

// What the child needs between fork and exec, made beforehand: in a threaded
// process only what is safe there may run, so nothing is allocated.
struct ExecPlan
{
    int requests;
    int replies;
    int errors;
    char *const *argv;
    char *const *envp;
    rlim_t processes;
};

[[noreturn]] void execWorker(const ExecPlan &plan)
{
    const rlimit fileSize = {fileSizeLimit, fileSizeLimit};
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0 || ::sigaction(SIGXFSZ, &ignore, nullptr) != 0)
        ::_exit(127);
    ::dup2(plan.requests, STDIN_FILENO);
    ::dup2(plan.replies, STDOUT_FILENO);
    ::dup2(plan.errors, STDERR_FILENO);
    if (::close_range(3, ~0U, 0) != 0)
        ::_exit(127);
    ::execve(plan.argv[0], plan.argv, plan.envp);
    ::_exit(127);
}

// The worker asks its whole group to end on the death signal, Ghostscript
// included.
pid_t forkPlain(const ExecPlan &plan)
{
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        execWorker(plan);
    }
    return child;
}

bool writeProcessFile(pid_t pid, const char *name, const QByteArray &text)
{
    const QByteArray path = "/proc/" + QByteArray::number(pid) + '/' + name;
    const UniqueFd file(::open(path.constData(), O_WRONLY | O_CLOEXEC));
    return file.isValid() && ::write(file.get(), text.constData(), text.size()) == text.size();
}

// The worker keeps its user's IDs, so that it reads exactly what its user may
// read; root's whole range maps, or root could no longer read other users'
// documents.
bool mapOwnIds(pid_t child)
{
    if (::geteuid() == 0) {
        return writeProcessFile(child, "uid_map", "0 0 4294967295\n") &&
               writeProcessFile(child, "gid_map", "0 0 4294967295\n");
    }
    const QByteArray uid = QByteArray::number(::geteuid());
    const QByteArray gid = QByteArray::number(::getegid());
    return writeProcessFile(child, "setgroups", "deny") &&
           writeProcessFile(child, "uid_map", uid + ' ' + uid + " 1\n") &&
           writeProcessFile(child, "gid_map", gid + ' ' + gid + " 1\n");
}

bool readByte(int fd)
{
    char byte = 0;
    ssize_t got;
    while ((got = ::read(fd, &byte, 1)) < 0 && errno == EINTR) {
    }
    return got == 1;
}

// Where user namespaces are open to us the worker is the first process of a
// PID namespace, so that the kernel ends everything it started when it ends,
// and of a network namespace with nothing in it. Its IDs are mapped from here
// before it goes on: it tells when its death signal is armed, and waits for
// word that the maps are written. -1 when the kernel will not have it.
// The process limit is set only here: counted per user in the new namespace,
// it counts this worker's processes alone, where outside it would count all
// the user's. It does not bind root, for whom the kernel never applies it.
pid_t cloneIntoNamespaces(const ExecPlan &plan)
{
    int armed[2];
    int mapped[2];
    if (::pipe2(armed, O_CLOEXEC) != 0)
        return -1;
    if (::pipe2(mapped, O_CLOEXEC) != 0) {
        ::close(armed[0]);
        ::close(armed[1]);
        return -1;
    }
    const auto child = static_cast<pid_t>(
        ::syscall(SYS_clone, CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET | SIGCHLD, nullptr,
                  nullptr, nullptr, nullptr));
    if (child == 0) {
        ::close(armed[0]);
        ::close(mapped[1]);
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const rlimit processes = {plan.processes, plan.processes};
        if (::write(armed[1], "a", 1) != 1 || !readByte(mapped[0]) ||
            ::setrlimit(RLIMIT_NPROC, &processes) != 0)
            ::_exit(127);
        execWorker(plan);
    }
    ::close(armed[1]);
    ::close(mapped[0]);
    const bool ready =
        child > 0 && readByte(armed[0]) && mapOwnIds(child) && ::write(mapped[1], "m", 1) == 1;
    ::close(armed[0]);
    ::close(mapped[1]);
    if (child > 0 && !ready) {
        ::kill(child, SIGKILL);
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        return -1;
    }
    return child;
}

} // namespace

LaunchedWorker launchConfinedWorker(const QString &workerPath, const QString &scratchPath,
                                    std::vector<QByteArray> environment)
{
    LaunchedWorker launched;
    int requests[2] = {-1, -1};
    int replies[2] = {-1, -1};
    int errors[2] = {-1, -1};
    // Requests go over a socket, so that the files they are about can go along.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, requests) != 0 ||
        ::pipe2(replies, O_CLOEXEC) != 0 || ::pipe2(errors, O_CLOEXEC) != 0) {
        const int error = errno;
        for (const int fd : {requests[0], requests[1], replies[0], replies[1], errors[0]}) {
            if (fd >= 0)
                ::close(fd);
        }
        launched.problem = QStringLiteral("could not start the worker: %1").arg(systemError(error));
        return launched;
    }
    std::vector<QByteArray> arguments = {QFile::encodeName(workerPath),
                                         QFile::encodeName(scratchPath)};
    std::vector<QByteArray> passed = workerEnvironment(std::move(environment));
    const std::vector<char *> argv = pointersTo(arguments);
    const std::vector<char *> envp = pointersTo(passed);
    const ExecPlan plan{requests[0], replies[1],  errors[1],
                        argv.data(), envp.data(), processLimit()};
    pid_t child = cloneIntoNamespaces(plan);
    if (child < 0)
        child = forkPlain(plan);
    const int error = errno;
    ::close(requests[0]);
    ::close(replies[1]);
    ::close(errors[1]);
    if (child < 0) {
        for (const int fd : {requests[1], replies[0], errors[0]})
            ::close(fd);
        launched.problem = QStringLiteral("could not start the worker: %1").arg(systemError(error));
        return launched;
    }
    launched.pid = child;
    launched.requests = requests[1];
    launched.replies = replies[0];
    launched.errors = errors[0];
    return launched;
}
