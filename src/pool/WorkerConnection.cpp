#include "pool/WorkerConnection.h"

#include "pool/OrphanedScratch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

namespace {

constexpr qsizetype errorOutputKept = 4096;
constexpr int gentleStopMs = 2000;

QString lastLine(const QByteArray &output)
{
    const QList<QByteArray> lines = output.trimmed().split('\n');
    return QString::fromLocal8Bit(lines.last().trimmed());
}

std::vector<char *> pointersTo(std::vector<QByteArray> &strings)
{
    std::vector<char *> pointers;
    for (QByteArray &string : strings)
        pointers.push_back(string.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The file goes with the message's first bytes. A worker that died makes the
// sending fail, without the signal that would end the window's process.
bool sendWithFile(int socket, const QByteArray &bytes, int file)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        iovec data = {const_cast<char *>(bytes.constData()) + sent, size_t(bytes.size() - sent)};
        msghdr message = {};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        if (file >= 0) {
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            cmsghdr *header = CMSG_FIRSTHDR(&message);
            header->cmsg_level = SOL_SOCKET;
            header->cmsg_type = SCM_RIGHTS;
            header->cmsg_len = CMSG_LEN(sizeof(int));
            std::memcpy(CMSG_DATA(header), &file, sizeof file);
        }
        const ssize_t written = ::sendmsg(socket, &message, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        sent += written;
        file = -1;
    }
    return true;
}

// Reads what is there without waiting. False at the end of the stream.
bool readAvailable(int fd, QByteArray &into)
{
    char chunk[256 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            into.append(chunk, got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0 && errno == EAGAIN;
    }
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
};

[[noreturn]] void execWorker(const ExecPlan &plan)
{
    ::dup2(plan.requests, STDIN_FILENO);
    ::dup2(plan.replies, STDOUT_FILENO);
    ::dup2(plan.errors, STDERR_FILENO);
    ::close_range(3, ~0U, 0);
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
    const int fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.constData(), text.size()) == text.size();
    ::close(fd);
    return written;
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
        if (::write(armed[1], "a", 1) != 1 || !readByte(mapped[0]))
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

WorkerConnection::WorkerConnection(QString workerPath, std::vector<QByteArray> environment)
    : m_workerPath(std::move(workerPath)), m_environment(std::move(environment))
{
}

WorkerConnection::~WorkerConnection()
{
    stopGently();
}

QString WorkerConnection::scratchPath() const
{
    return m_scratch ? m_scratch->path() : QString();
}

QString WorkerConnection::start(std::chrono::milliseconds timeLimit)
{
    kill();
    if (const QString problem = launch(); !problem.isEmpty())
        return problem;
    WorkerProtocol::Request hello;
    hello.type = WorkerProtocol::RequestType::Hello;
    send(hello, timeLimit);
    std::optional<WorkerProtocol::Reply> reply;
    while (!(reply = collect()))
        waitForAny({this});
    if (isRunning())
        return reply->failure;
    return whyItStoppedBeforeReady(reply->failure);
}

QString WorkerConnection::whyItStoppedBeforeReady(const QString &failure) const
{
    if (!QFileInfo::exists(m_workerPath))
        return QStringLiteral("the worker program %1 was not found").arg(m_workerPath);
    const QString said = lastLine(m_errorOutput);
    if (said.contains(QLatin1String("libMagick")))
        return QStringLiteral("ImageMagick is missing: %1").arg(said);
    return QStringLiteral("the worker program %1 stopped before it was ready: %2")
        .arg(m_workerPath, said.isEmpty() ? failure : said);
}

QString WorkerConnection::launch()
{
    m_errorOutput.clear();
    m_reader = {};
    m_scratch = std::make_unique<QTemporaryDir>(OrphanedScratch::folderTemplate());
    if (!m_scratch->isValid()) {
        const QString reason = m_scratch->errorString();
        m_scratch.reset();
        return QStringLiteral("could not create a temporary folder for the worker: %1").arg(reason);
    }
    m_scratchFolder.reset(::open(QFile::encodeName(m_scratch->path()).constData(),
                                 O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    int requests[2];
    int replies[2];
    int errors[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, requests) != 0 ||
        ::pipe2(replies, O_CLOEXEC) != 0 ||
        ::pipe2(errors, O_CLOEXEC) != 0) {
        m_scratch.reset();
        return QStringLiteral("could not start the worker: %1").arg(qt_error_string(errno));
    }
    std::vector<QByteArray> arguments = {QFile::encodeName(m_workerPath),
                                         QFile::encodeName(m_scratch->path())};
    const std::vector<char *> argv = pointersTo(arguments);
    const std::vector<char *> envp = pointersTo(m_environment);
    const ExecPlan plan{requests[0], replies[1], errors[1], argv.data(), envp.data()};
    pid_t child = cloneIntoNamespaces(plan);
    if (child < 0)
        child = forkPlain(plan);
    ::close(requests[0]);
    ::close(replies[1]);
    ::close(errors[1]);
    m_requests = requests[1];
    m_replies = replies[0];
    m_errors = errors[0];
    if (child < 0) {
        const int error = errno;
        closeDescriptors();
        m_scratch.reset();
        return QStringLiteral("could not start the worker: %1").arg(qt_error_string(error));
    }
    m_pid = child;
    ::fcntl(m_replies, F_SETFL, O_NONBLOCK);
    ::fcntl(m_errors, F_SETFL, O_NONBLOCK);
    return QString();
}

bool WorkerConnection::isAlive()
{
    if (m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
        ::kill(-std::exchange(m_pid, 0), SIGKILL);
        kill();
    }
    return isRunning();
}

void WorkerConnection::send(const WorkerProtocol::Request &request,
                            std::chrono::milliseconds timeLimit)
{
    // The time limit runs for the request the worker is on: this one only
    // once the one before it is answered.
    m_timeLimit = timeLimit;
    if (m_outstanding++ == 0)
        m_deadline = QDeadlineTimer(timeLimit);
    // A worker that is gone shows when its reply is collected.
    sendWithFile(m_requests, WorkerProtocol::frame(WorkerProtocol::encodeRequest(request)),
                 request.file.get());
}

std::optional<WorkerProtocol::Reply> WorkerConnection::collect()
{
    if (!isBusy())
        return std::nullopt;
    if (!isRunning())
        return lose(QStringLiteral("the converter stopped unexpectedly"));
    QByteArray arrived;
    const bool open = readAvailable(m_replies, arrived);
    m_reader.append(arrived);
    drainErrorOutput();
    if (const std::optional<QByteArray> message = m_reader.takeMessage()) {
        if (--m_outstanding > 0)
            m_deadline = QDeadlineTimer(m_timeLimit);
        if (std::optional<WorkerProtocol::Reply> reply = WorkerProtocol::decodeReply(*message))
            return reply;
        return lose(QStringLiteral("the converter gave an answer that makes no sense"));
    }
    if (m_reader.isBroken())
        return lose(QStringLiteral("the converter gave an answer that makes no sense"));
    if (!open)
        return lose(QStringLiteral("the converter stopped unexpectedly"));
    if (m_deadline.hasExpired())
        return lose(QStringLiteral("time limit reached"));
    return std::nullopt;
}

void WorkerConnection::waitForAny(const std::vector<WorkerConnection *> &workers)
{
    std::vector<pollfd> ready;
    qint64 wait = -1;
    for (const WorkerConnection *worker : workers) {
        if (!worker->isRunning() || !worker->isBusy())
            continue;
        ready.push_back({worker->m_replies, POLLIN, 0});
        ready.push_back({worker->m_errors, POLLIN, 0});
        const qint64 left = worker->m_deadline.remainingTime();
        wait = wait < 0 ? left : qMin(wait, left);
    }
    if (!ready.empty())
        ::poll(ready.data(), ready.size(), int(qMax<qint64>(wait, 0)));
}

// Kept short and only for telling why a worker did not start; the rest is
// Ghostscript's chatter about damaged documents. Read all the same, so that
// Ghostscript never waits on a full pipe.
void WorkerConnection::drainErrorOutput()
{
    if (m_errors < 0)
        return;
    readAvailable(m_errors, m_errorOutput);
    if (m_errorOutput.size() > errorOutputKept)
        m_errorOutput = m_errorOutput.right(errorOutputKept);
}

WorkerProtocol::Reply WorkerConnection::lose(const QString &reason)
{
    drainErrorOutput();
    kill();
    return WorkerProtocol::failure(reason);
}

void WorkerConnection::stopGently()
{
    if (isRunning() && !isBusy()) {
        ::close(std::exchange(m_requests, -1));
        QDeadlineTimer deadline(gentleStopMs);
        while (!deadline.hasExpired() && ::waitpid(m_pid, nullptr, WNOHANG) == 0)
            ::usleep(2000);
    }
    kill();
}

void WorkerConnection::kill()
{
    if (m_pid > 0) {
        ::kill(-m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    m_pid = 0;
    m_outstanding = 0;
    closeDescriptors();
    m_scratchFolder.reset();
    m_scratch.reset();
}

void WorkerConnection::closeDescriptors()
{
    for (int *fd : {&m_requests, &m_replies, &m_errors}) {
        if (*fd >= 0)
            ::close(std::exchange(*fd, -1));
    }
}
