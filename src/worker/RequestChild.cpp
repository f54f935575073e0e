#include "worker/RequestChild.h"

#include "protocol/SystemError.h"
#include "protocol/WriteAll.h"
#include "worker/Confinement.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::atomic<pid_t> currentGroup = 0;
int keptInEveryRequest = -1;

// A request that leaves a process which cannot be killed is not waited for
// without end; the worker ends instead.
constexpr int killRounds = 100;

bool closeAllBut(const std::vector<int> &kept)
{
    unsigned int from = 0;
    for (const int fd : kept) {
        if (unsigned(fd) > from && ::close_range(from, unsigned(fd) - 1, 0) != 0)
            return false;
        from = unsigned(fd) + 1;
    }
    return ::close_range(from, ~0U, 0) == 0;
}

// The child's part before it touches the document. Its group is the one
// killed after the reply; the filter it inherits keeps its descendants in it.
QString isolateChild(pid_t worker, int document, int replyPipe)
{
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != worker)
        return QStringLiteral("the worker is gone");
    if (::setpgid(0, 0) != 0)
        return QStringLiteral("no process group of its own: %1").arg(systemError(errno));
    if (!closeAllBut(RequestChild::keptDescriptors(document, replyPipe)))
        return QStringLiteral("could not close what it inherited: %1").arg(systemError(errno));
    return Confinement::keepProcessGroup();
}

[[noreturn]] void runChild(const RequestChild::Answer &answer,
                           const WorkerProtocol::Request &request, pid_t worker, int replyPipe,
                           const QString &scratchPath, const QStringList &programs)
{
    QString problem = isolateChild(worker, request.file.get(), replyPipe);
    if (problem.isEmpty())
        problem = Confinement::restrictReading(scratchPath, programs);
    if (problem.isEmpty())
        problem = Confinement::restrictWriting(scratchPath);
    WorkerChannel reply(-1, replyPipe);
    reply.answerUnder(request.token);
    const bool sent =
        problem.isEmpty()
            ? reply.send(answer(request))
            : reply.send(WorkerProtocol::failure(
                  QStringLiteral("the worker could not confine a conversion: %1").arg(problem)));
    ::_exit(sent ? 0 : 1);
}

// Waits until fd has bytes or the child has ended with none left for it.
bool readable(int fd, int childHandle)
{
    pollfd watched[2] = {{fd, POLLIN, 0}, {childHandle, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(watched, childHandle >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return false;
        if (watched[0].revents != 0)
            return (watched[0].revents & POLLIN) != 0;
        if (watched[1].revents != 0)
            return false;
    }
}

bool readExactly(int fd, int childHandle, char *data, qint64 size)
{
    while (size > 0) {
        if (!readable(fd, childHandle))
            return false;
        const ssize_t got = ::read(fd, data, size_t(std::min<qint64>(size, 1 << 16)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= got;
    }
    return true;
}

// Exactly one frame of at most what its request type allows, read no further: what
// else the request's processes write is never read.
bool readOneReply(int from, int childHandle, WorkerProtocol::RequestType type,
                  std::vector<char> &frame)
{
    unsigned char header[4];
    if (!readExactly(from, childHandle, reinterpret_cast<char *>(header), sizeof header))
        return false;
    const qint64 length = qint64(header[0]) << 24 | header[1] << 16 | header[2] << 8 | header[3];
    if (length > WorkerProtocol::maxReplySizeFor(type))
        return false;
    frame.assign(header, header + sizeof header);
    frame.resize(sizeof header + size_t(length));
    return readExactly(from, childHandle, frame.data() + sizeof header, length);
}

// Kills the child's group and reaps its members, orphans included, and
// whatever else of this process's has ended; true once the group is empty.
// The child's own end is told through status.
bool endGroup(pid_t child, int &status)
{
    for (int round = 0; round < killRounds; ++round) {
        ::kill(-child, SIGKILL);
        ::kill(child, SIGKILL);
        // As the first process of a PID namespace, everything else in it.
        if (::getpid() == 1)
            ::kill(-1, SIGKILL);
        int reaped = 0;
        pid_t pid;
        while ((pid = ::waitpid(-child, &reaped, __WALL)) > 0 || errno == EINTR) {
            if (pid == child)
                status = reaped;
        }
        // A child that ended before it made its group is found here.
        while ((pid = ::waitpid(-1, &reaped, WNOHANG | __WALL)) > 0) {
            if (pid == child)
                status = reaped;
        }
        if (::kill(-child, 0) != 0 && errno == ESRCH)
            return true;
    }
    return false;
}

} // namespace

bool RequestChild::adoptOrphans()
{
    return ::getpid() == 1 || ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
}

bool RequestChild::answer(const Answer &answer, WorkerChannel &channel,
                          const WorkerProtocol::Request &request, const QString &scratchPath,
                          const QStringList &programs, const std::function<void()> &handOver)
{
    Confinement::prepareRequestChildren();
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return channel.send(WorkerProtocol::failure(
            QStringLiteral("the worker could not start a conversion: %1").arg(systemError(errno))));
    const pid_t worker = ::getpid();
    const pid_t child = ::fork();
    if (child == 0)
        runChild(answer, request, worker, pipe[1], scratchPath, programs);
    const int error = errno;
    ::close(pipe[1]);
    if (child < 0) {
        ::close(pipe[0]);
        return channel.send(WorkerProtocol::failure(
            QStringLiteral("the worker could not start a conversion: %1").arg(systemError(error))));
    }
    currentGroup = child;
    const int childHandle = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    std::vector<char> frame;
    const bool read = readOneReply(pipe[0], childHandle, request.type, frame);
    ::close(pipe[0]);
    if (childHandle >= 0)
        ::close(childHandle);
    int status = 0;
    // Before the window hears of it: once it takes the thumbnail, nothing of
    // the request that made it may still run.
    const bool ended = endGroup(child, status);
    currentGroup = 0;
    if (read && ended)
        handOver();
    const bool relayed =
        read && ended && writeAll(channel.replyDescriptor(), frame.data(), frame.size()) == 0;
    if (!relayed && WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
        std::signal(WTERMSIG(status), SIG_DFL);
        ::raise(WTERMSIG(status));
    }
    return relayed && ended;
}

void RequestChild::endCurrent()
{
    if (const pid_t group = currentGroup; group > 0)
        ::kill(-group, SIGKILL);
}

void RequestChild::keepInEveryRequest(int fd)
{
    keptInEveryRequest = fd;
}

std::vector<int> RequestChild::keptDescriptors(int document, int replyPipe)
{
    std::vector<int> kept = {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO, replyPipe};
    if (document >= 0)
        kept.push_back(document);
    if (keptInEveryRequest >= 0)
        kept.push_back(keptInEveryRequest);
    std::sort(kept.begin(), kept.end());
    return kept;
}
