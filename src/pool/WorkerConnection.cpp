#include "pool/WorkerConnection.h"

#include "pool/OrphanedScratch.h"
#include "pool/WorkerLaunch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
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

// A worker that died makes the write fail with EPIPE; the signal that comes
// with it must not end the window's process.
bool writeWithoutSigpipe(int fd, const QByteArray &bytes)
{
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + sent, bytes.size() - sent);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        sent += written;
    }
    const timespec now = {0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &now) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return sent == bytes.size();
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
    m_busy = true;
    m_deadline = QDeadlineTimer(timeLimit);
    // A worker that is gone shows when its reply is collected.
    writeWithoutSigpipe(m_requests, WorkerProtocol::frame(WorkerProtocol::encodeRequest(request)));
}

std::optional<WorkerProtocol::Reply> WorkerConnection::collect()
{
    if (!m_busy)
        return std::nullopt;
    if (!isRunning())
        return lose(QStringLiteral("the converter stopped unexpectedly"));
    QByteArray arrived;
    const bool open = readAvailable(m_replies, arrived);
    m_reader.append(arrived);
    drainErrorOutput();
    if (const std::optional<QByteArray> message = m_reader.takeMessage()) {
        m_busy = false;
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
    if (isRunning() && !m_busy) {
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
    m_busy = false;
    closeDescriptors();
    m_scratch.reset();
}

void WorkerConnection::closeDescriptors()
{
    for (int *fd : {&m_requests, &m_replies, &m_errors}) {
        if (*fd >= 0)
            ::close(std::exchange(*fd, -1));
    }
}
