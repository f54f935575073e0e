#include "pool/WorkerConnection.h"

#include "pool/OrphanedScratch.h"
#include "pool/WorkerLaunch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
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
    const LaunchedWorker launched =
        launchConfinedWorker(m_workerPath, m_scratch->path(), m_environment);
    if (!launched.problem.isEmpty()) {
        m_scratch.reset();
        return launched.problem;
    }
    m_pid = launched.pid;
    m_requests = launched.requests;
    m_replies = launched.replies;
    m_errors = launched.errors;
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
