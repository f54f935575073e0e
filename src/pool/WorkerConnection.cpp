#include "pool/WorkerConnection.h"

#include "pool/OrphanedScratch.h"
#include "pool/WorkerLaunch.h"
#include "protocol/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

namespace {

constexpr qsizetype errorOutputKept = 4096;
// Far beyond Ghostscript's complaints about a damaged document.
constexpr qint64 errorOutputPerRequest = 1024 * 1024;
constexpr int gentleStopMs = 2000;
constexpr qint64 readChunk = 256 * 1024;

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

enum class Read { Some, Nothing, Ended };

// Never 0, which stands for no request.
quint64 newToken()
{
    quint64 token = 0;
    while (token == 0)
        token = QRandomGenerator::system()->generate64();
    return token;
}

// Reads what is there without waiting, never more than limit bytes.
Read readAtMost(int fd, QByteArray &into, qint64 limit)
{
    char chunk[readChunk];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, size_t(qMin(limit, readChunk)));
        if (got > 0) {
            into.append(chunk, got);
            return Read::Some;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0 && errno == EAGAIN ? Read::Nothing : Read::Ended;
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

// Made before the worker starts, and the finished folder held open, so that
// what the worker does to their paths changes nothing of where we look.
QString WorkerConnection::makeScratchFolders()
{
    const QByteArray root = QFile::encodeName(m_scratch->path());
    const UniqueFd scratch(::open(root.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!scratch.isValid() ||
        ::mkdirat(scratch.get(), WorkerProtocol::workingFolderName, 0700) != 0 ||
        ::mkdirat(scratch.get(), WorkerProtocol::finishedFolderName, 0700) != 0)
        return systemError(errno);
    m_finishedFolder.reset(::openat(scratch.get(), WorkerProtocol::finishedFolderName,
                                    O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return m_finishedFolder.isValid() ? QString() : systemError(errno);
}

QString WorkerConnection::launch()
{
    m_errorOutput.clear();
    m_errorBytesSinceReply = 0;
    m_lastAnswered = 0;
    m_reader = {};
    m_scratch = std::make_unique<QTemporaryDir>(OrphanedScratch::folderTemplate());
    if (!m_scratch->isValid()) {
        const QString reason = m_scratch->errorString();
        m_scratch.reset();
        return QStringLiteral("could not create a temporary folder for the worker: %1").arg(reason);
    }
    if (const QString problem = makeScratchFolders(); !problem.isEmpty()) {
        m_scratch.reset();
        return QStringLiteral("could not create a temporary folder for the worker: %1")
            .arg(problem);
    }
    const LaunchedWorker launched =
        launchConfinedWorker(m_workerPath, m_scratch->path(), m_environment);
    if (!launched.problem.isEmpty()) {
        m_scratch.reset();
        return launched.problem;
    }
    m_pid = launched.pid;
    m_requests.reset(launched.requests);
    m_replies.reset(launched.replies);
    m_errors.reset(launched.errors);
    ::fcntl(m_replies.get(), F_SETFL, O_NONBLOCK);
    ::fcntl(m_errors.get(), F_SETFL, O_NONBLOCK);
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

void WorkerConnection::send(WorkerProtocol::Request &request, std::chrono::milliseconds timeLimit)
{
    request.token = newToken();
    // The time limit runs for the request the worker is on: this one only
    // once the one before it is answered.
    m_timeLimit = timeLimit;
    if (m_waiting.empty()) {
        m_deadline = QDeadlineTimer(timeLimit);
        m_reader.setLimit(WorkerProtocol::maxReplySizeFor(request.type));
    }
    m_waiting.push_back({request.token, request.type});
    // A worker that is gone shows when its reply is collected.
    sendWithFile(m_requests.get(), WorkerProtocol::frame(WorkerProtocol::encodeRequest(request)),
                 request.file.get());
}

// Reads no further than the reply in hand: whatever follows it is judged
// only once that reply is taken, and a worker that floods the pipe costs no
// more than one reply's bytes at a time.
std::optional<WorkerProtocol::Reply> WorkerConnection::collect()
{
    if (!isRunning())
        return isBusy() ? lose(QStringLiteral("the converter stopped unexpectedly"), oldestToken())
                        : std::optional<WorkerProtocol::Reply>();
    drainErrorOutput();
    if (m_errorBytesSinceReply > errorOutputPerRequest)
        return lose(QStringLiteral("the converter wrote too much on its error output"),
                    isBusy() ? oldestToken() : m_lastAnswered);
    if (!isBusy())
        return noticeUnasked();
    for (;;) {
        if (const std::optional<QByteArray> message = m_reader.takeMessage())
            return takeReply(*message);
        if (m_reader.isBroken())
            return lose(QStringLiteral("the converter gave an answer that makes no sense"),
                        oldestToken());
        QByteArray arrived;
        const Read read = readAtMost(m_replies.get(), arrived, m_reader.wanted());
        if (read == Read::Ended)
            return lose(QStringLiteral("the converter stopped unexpectedly"), oldestToken());
        if (read == Read::Nothing)
            break;
        m_reader.append(arrived);
    }
    if (m_deadline.hasExpired())
        return lose(QStringLiteral("time limit reached"), oldestToken());
    return std::nullopt;
}

// Only the oldest request may be answered; the same reply twice or one to
// another request means a document took the worker over.
std::optional<WorkerProtocol::Reply> WorkerConnection::takeReply(const QByteArray &message)
{
    std::optional<WorkerProtocol::Reply> reply = WorkerProtocol::decodeReply(message);
    if (!reply)
        return lose(QStringLiteral("the converter gave an answer that makes no sense"),
                    oldestToken());
    if (reply->token == m_lastAnswered)
        return lose(QStringLiteral("the converter answered the same request twice"),
                    m_lastAnswered);
    if (reply->token != oldestToken())
        return lose(QStringLiteral("the converter answered a request it was not asked"),
                    oldestToken());
    m_lastAnswered = reply->token;
    m_waiting.pop_front();
    m_errorBytesSinceReply = 0;
    if (isBusy()) {
        m_deadline = QDeadlineTimer(m_timeLimit);
        m_reader.setLimit(WorkerProtocol::maxReplySizeFor(m_waiting.front().type));
        return reply;
    }
    // What came with it unasked is seen now, before its thumbnail is used.
    if (std::optional<WorkerProtocol::Reply> unasked = noticeUnasked())
        return unasked;
    return reply;
}

// Anything at all from a worker with nothing to answer: the request it
// answered last is no longer to be believed. One that ended is cleared up,
// with no request to blame.
std::optional<WorkerProtocol::Reply> WorkerConnection::noticeUnasked()
{
    QByteArray arrived;
    const Read read = m_reader.pending() > 0 ? Read::Some : readAtMost(m_replies.get(), arrived, 1);
    if (read == Read::Ended)
        return lose(QStringLiteral("the converter stopped unexpectedly"), 0);
    if (read == Read::Nothing)
        return std::nullopt;
    return lose(QStringLiteral("the converter said more than it was asked"), m_lastAnswered);
}

void WorkerConnection::waitForAny(const std::vector<WorkerConnection *> &workers)
{
    std::vector<pollfd> ready;
    qint64 wait = -1;
    for (const WorkerConnection *worker : workers) {
        if (!worker->isRunning() || !worker->isBusy())
            continue;
        ready.push_back({worker->m_replies.get(), POLLIN, 0});
        ready.push_back({worker->m_errors.get(), POLLIN, 0});
        const qint64 left = worker->m_deadline.remainingTime();
        wait = wait < 0 ? left : qMin(wait, left);
    }
    if (!ready.empty())
        ::poll(ready.data(), ready.size(), int(qMax<qint64>(wait, 0)));
}

// Kept short and only for telling why a worker did not start; the rest is
// Ghostscript's chatter about damaged documents. Read all the same, so that
// Ghostscript never waits on a full pipe, but no more than a request's share.
void WorkerConnection::drainErrorOutput()
{
    while (m_errors.isValid() && m_errorBytesSinceReply <= errorOutputPerRequest) {
        const qsizetype before = m_errorOutput.size();
        if (readAtMost(m_errors.get(), m_errorOutput, readChunk) != Read::Some)
            return;
        m_errorBytesSinceReply += m_errorOutput.size() - before;
        if (m_errorOutput.size() > errorOutputKept)
            m_errorOutput = m_errorOutput.right(errorOutputKept);
    }
}

WorkerProtocol::Reply WorkerConnection::lose(const QString &reason, quint64 token)
{
    drainErrorOutput();
    kill();
    WorkerProtocol::Reply reply = WorkerProtocol::failure(reason);
    reply.token = token;
    return reply;
}

void WorkerConnection::stopGently()
{
    if (isRunning() && !isBusy()) {
        m_requests.reset();
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
    m_waiting.clear();
    m_requests.reset();
    m_replies.reset();
    m_errors.reset();
    m_finishedFolder.reset();
    m_scratch.reset();
}
