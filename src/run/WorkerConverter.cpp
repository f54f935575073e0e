#include "WorkerConverter.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

#include <utility>

namespace {

constexpr qsizetype errorOutputKept = 4096;
constexpr int gentleStopMs = 2000;
constexpr int killWaitMs = 5000;

// ImageMagick reads escapes and globs in names; the worker's folder and all
// that it names there must be plain.
QString scratchParent()
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._-]+$"));
    const QString temp = QDir::tempPath();
    return plain.match(temp).hasMatch() ? temp : QStringLiteral("/tmp");
}

// The worker keeps the working folder we had when it started; ours may have
// changed since.
QString absolute(const QString &path)
{
    return QDir::isRelativePath(path) ? QDir::currentPath() + QLatin1Char('/') + path : path;
}

QString lastLine(const QByteArray &output)
{
    const QList<QByteArray> lines = output.trimmed().split('\n');
    return QString::fromLocal8Bit(lines.last().trimmed());
}

WorkerProtocol::Request request(WorkerProtocol::RequestType type, QStringList arguments = {})
{
    WorkerProtocol::Request request;
    request.type = type;
    request.arguments = std::move(arguments);
    return request;
}

} // namespace

WorkerConverter::WorkerConverter(QString workerPath) : m_workerPath(std::move(workerPath)) {}

WorkerConverter::~WorkerConverter()
{
    stopGently();
}

void WorkerConverter::setTimeLimit(std::chrono::milliseconds limit)
{
    m_timeLimit = limit;
}

QString WorkerConverter::start()
{
    stopGently();
    return launch();
}

ConversionResult WorkerConverter::Convert(const QStringList &arguments)
{
    if (const QString problem = ensureRunning(); !problem.isEmpty())
        return {QString(), problem};
    QStringList sent = arguments;
    if (sent.size() == 6) {
        sent[4] = absolute(sent[4]);
        sent[5] = absolute(sent[5]);
    }
    const qint64 worker = m_processGroup;
    const WorkerProtocol::Reply reply =
        exchange(request(WorkerProtocol::RequestType::Convert, sent));
    if (!m_process && sent.size() == 6)
        removePartFiles(sent[5], worker);
    return {reply.failure.isEmpty() ? reply.text : QString(), reply.failure};
}

DecodedImage WorkerConverter::decodeImage(const QString &path)
{
    if (!ensureRunning().isEmpty())
        return {};
    const WorkerProtocol::Reply reply =
        exchange(request(WorkerProtocol::RequestType::Decode, {absolute(path)}));
    if (!reply.failure.isEmpty() || reply.width <= 0 || reply.height <= 0 ||
        reply.rgba.size() != qsizetype(reply.width) * reply.height * 4)
        return {};
    return {reply.width, reply.height, reply.rgba};
}

// A worker that runs answers for itself, even when it reported a problem at
// start: it refuses conversions but can still decode.
QString WorkerConverter::ensureRunning()
{
    if (m_process && m_process->state() == QProcess::Running)
        return QString();
    killAll();
    const QString problem = launch();
    return m_process ? QString() : problem;
}

QString WorkerConverter::launch()
{
    m_errorOutput.clear();
    m_scratch =
        std::make_unique<QTemporaryDir>(scratchParent() + QStringLiteral("/leafmark-XXXXXX"));
    if (!m_scratch->isValid()) {
        const QString reason = m_scratch->errorString();
        m_scratch.reset();
        return QStringLiteral("could not create a temporary folder for the worker: %1").arg(reason);
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(m_workerPath);
    m_process->setArguments({m_scratch->path()});
    // Its own process group, so that one signal reaches the worker and every
    // Ghostscript it started; and no worker outlives the window's process.
    m_process->setChildProcessModifier([] {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    m_process->start();
    if (!m_process->waitForStarted(int(m_timeLimit.count()))) {
        const QString reason =
            QFileInfo::exists(m_workerPath)
                ? QStringLiteral("the worker program %1 did not start: %2")
                      .arg(m_workerPath, m_process->errorString())
                : QStringLiteral("the worker program %1 was not found").arg(m_workerPath);
        killAll();
        return reason;
    }
    m_processGroup = m_process->processId();

    const WorkerProtocol::Reply reply = exchange(request(WorkerProtocol::RequestType::Hello));
    if (m_process)
        return reply.failure;
    const QString said = lastLine(m_errorOutput);
    if (said.contains(QLatin1String("libMagick")))
        return QStringLiteral("ImageMagick is missing: %1").arg(said);
    return QStringLiteral("the worker program %1 stopped before it was ready: %2")
        .arg(m_workerPath, said.isEmpty() ? reply.failure : said);
}

WorkerProtocol::Reply WorkerConverter::exchange(const WorkerProtocol::Request &request)
{
    m_process->write(WorkerProtocol::frame(WorkerProtocol::encodeRequest(request)));
    WorkerProtocol::FrameReader reader;
    const QDeadlineTimer deadline(m_timeLimit);
    for (;;) {
        reader.append(m_process->readAllStandardOutput());
        if (const std::optional<QByteArray> message = reader.takeMessage()) {
            if (std::optional<WorkerProtocol::Reply> reply = WorkerProtocol::decodeReply(*message))
                return *reply;
            return lose(QStringLiteral("the converter gave an answer that makes no sense"));
        }
        if (reader.isBroken())
            return lose(QStringLiteral("the converter gave an answer that makes no sense"));
        if (m_process->state() != QProcess::Running)
            return lose(QStringLiteral("the converter stopped unexpectedly"));
        if (deadline.hasExpired())
            return lose(QStringLiteral("time limit reached"));
        // Blocks without running the event loop: the walk waits for each result.
        m_process->waitForReadyRead(int(deadline.remainingTime()));
        collectErrorOutput();
    }
}

// A worker killed while it put a thumbnail in place may have left its part file.
void WorkerConverter::removePartFiles(const QString &output, qint64 worker)
{
    QDir folder = QFileInfo(output).dir();
    const QStringList parts =
        folder.entryList({WorkerProtocol::partFilePrefix(worker) + QLatin1Char('*')},
                         QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &part : parts)
        folder.remove(part);
}

WorkerProtocol::Reply WorkerConverter::lose(const QString &reason)
{
    collectErrorOutput();
    killAll();
    WorkerProtocol::Reply reply;
    reply.failure = reason;
    return reply;
}

// Kept short and only for telling why a worker did not start; the rest is
// Ghostscript's chatter about damaged documents.
void WorkerConverter::collectErrorOutput()
{
    if (!m_process)
        return;
    m_errorOutput += m_process->readAllStandardError();
    if (m_errorOutput.size() > errorOutputKept)
        m_errorOutput = m_errorOutput.right(errorOutputKept);
}

void WorkerConverter::stopGently()
{
    if (m_process && m_process->state() == QProcess::Running) {
        m_process->closeWriteChannel();
        m_process->waitForFinished(gentleStopMs);
    }
    killAll();
}

void WorkerConverter::killAll()
{
    if (m_processGroup > 0)
        ::kill(pid_t(-m_processGroup), SIGKILL);
    if (m_process && m_process->state() != QProcess::NotRunning)
        m_process->waitForFinished(killWaitMs);
    m_process.reset();
    m_scratch.reset();
    m_processGroup = 0;
}
