#include "pool/WorkerConverter.h"

#include "pool/CheckedFile.h"
#include "pool/FilePlacement.h"
#include "pool/OrphanedScratch.h"
#include "pool/PoolTask.h"
#include "pool/PoolWorker.h"
#include "protocol/FileSignature.h"

#include <QDir>
#include <QRegularExpression>

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <utility>

extern char **environ;

namespace {

constexpr int maxPoolSize = 16;
// Each worker keeps two entries ahead in hand: one converting, one waiting.
constexpr int entriesAheadPerWorker = 2;
// The waiting one is already sent to it.
constexpr int requestsPerWorker = 2;
constexpr std::chrono::milliseconds deadlineCheckInterval(250);

// The worker keeps the working folder we had when it started; ours may have
// changed since.
QString absolute(const QString &path)
{
    return QDir::isRelativePath(path) ? QDir::currentPath() + QLatin1Char('/') + path : path;
}

// Every worker starts as the first did, fault hooks of the tests included,
// whatever became of this process's environment since.
std::vector<QByteArray> currentEnvironment()
{
    std::vector<QByteArray> entries;
    for (char **entry = environ; *entry != nullptr; ++entry)
        entries.emplace_back(*entry);
    return entries;
}

ConversionJob withAbsolutePaths(ConversionJob job)
{
    job.input = absolute(job.input);
    job.output = absolute(job.output);
    return job;
}

// The user knows the file, not the worker's folder where it was copied to.
QString withoutScratchPaths(QString reason, const QString &scratchPath, const QString &file)
{
    if (scratchPath.isEmpty() || !reason.contains(scratchPath))
        return reason;
    const QRegularExpression path(QRegularExpression::escape(scratchPath) +
                                  QStringLiteral("[^\\s'\"`]*"));
    return reason.replace(path, file);
}

// What the worker would find before any rendering, found without it.
QString earlyPdfProblem(int pdf)
{
    struct stat status = {};
    if (::fstat(pdf, &status) == 0 && status.st_size == 0)
        return QStringLiteral("not a PDF or damaged: the file is empty");
    if (FileSignature::formatOfDescriptor(pdf) != QLatin1String("PDF"))
        return QStringLiteral("not a PDF or damaged: it does not start like a PDF");
    return QString();
}

// The worker may open nothing of the user's: it gets the file we opened.
QString openInputOf(PoolTask &task)
{
    QString problem;
    if (task.request.type == WorkerProtocol::RequestType::Convert) {
        task.request.file = CheckedFile::openRegular(task.request.job.input,
                                                     std::numeric_limits<qint64>::max(), &problem);
        if (!task.request.file.isValid())
            return QStringLiteral("cannot read the PDF: %1").arg(problem);
        task.inputWhenStarted = FileStamp::ofDescriptor(task.request.file.get());
        return earlyPdfProblem(task.request.file.get());
    } else if (task.request.type == WorkerProtocol::RequestType::Decode) {
        task.request.file =
            CheckedFile::openRegular(task.request.imagePath, CheckedFile::maxImageSize, &problem);
        if (!task.request.file.isValid())
            return QStringLiteral("cannot read the image: %1").arg(problem);
    }
    return QString();
}

// The reply stands for the oldest request sent to the worker, or, taken back,
// for the one it answered last.
PoolTask *taskAnswered(PoolWorker &worker, quint64 token)
{
    if (!worker.tasks.empty() && worker.tasks.front()->request.token == token) {
        PoolTask *task = worker.tasks.front();
        worker.tasks.pop_front();
        return task;
    }
    if (worker.lastAnswered && worker.lastAnswered->request.token == token &&
        worker.lastAnswered->state == PoolTask::State::Done) {
        PoolTask *task = worker.lastAnswered;
        worker.forgetLastAnswered();
        return task;
    }
    return nullptr;
}

ConversionResult placeResult(const ConversionJob &job, const PoolTask &task)
{
    const WorkerProtocol::Reply &reply = task.reply;
    if (!reply.failure.isEmpty() || reply.text.isEmpty())
        return {QString(), reply.failure};
    if (const QString problem = placeThumbnail(job, task.heldFile.get()); !problem.isEmpty())
        return {QString(), problem};
    return {reply.text, QString()};
}

// The worker is untrusted: its pixels are shown only when they are exactly as
// many as it says, and no more than an image may be.
DecodedImage decodedImageOf(const WorkerProtocol::Reply &reply)
{
    if (!reply.failure.isEmpty() || reply.width <= 0 || reply.height <= 0 ||
        qint64(reply.width) * reply.height * 4 > CheckedFile::maxImageSize ||
        reply.rgba.size() != qsizetype(reply.width) * reply.height * 4)
        return {};
    return {reply.width, reply.height, reply.rgba};
}

} // namespace

WorkerConverter::WorkerConverter(QString workerPath, int poolSize)
    : m_workerPath(std::move(workerPath)), m_poolSize(std::clamp(poolSize, 1, maxPoolSize))
{
    m_deadlines.setInterval(deadlineCheckInterval);
    QObject::connect(&m_deadlines, &QTimer::timeout, &m_deadlines, [this] { onActivity(); });
}

WorkerConverter::~WorkerConverter()
{
    discard(m_ahead.takeAll());
    m_workers.clear();
}

int WorkerConverter::usableCores()
{
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (::sched_getaffinity(0, sizeof cores, &cores) != 0)
        return 1;
    return std::clamp(CPU_COUNT(&cores), 1, maxPoolSize);
}

void WorkerConverter::setTimeLimit(std::chrono::milliseconds limit)
{
    m_timeLimit = limit;
}

QString WorkerConverter::start()
{
    OrphanedScratch::removeLeftovers();
    discard(m_ahead.takeAll());
    m_workers.clear();
    m_environment = currentEnvironment();
    m_workers.push_back(std::make_unique<PoolWorker>(m_workerPath, m_environment));
    PoolWorker &first = *m_workers.front();
    first.startProblem = startWorker(first);
    return first.startProblem;
}

ConversionResult WorkerConverter::Convert(const ConversionJob &walkJob)
{
    const ConversionJob job = withAbsolutePaths(walkJob);
    std::unique_ptr<PoolTask> task = m_ahead.take(job);
    if (task) {
        waitFor(*task);
        if (!LookAhead::stillHolds(*task))
            task.reset();
    }
    if (!task) {
        task = std::make_unique<PoolTask>();
        task->request.type = WorkerProtocol::RequestType::Convert;
        task->request.job = job;
        waitFor(*task);
    }
    const ConversionResult result = placeResult(job, *task);
    task.reset();
    workAhead();
    return result;
}

qsizetype WorkerConverter::jobsAhead() const
{
    return qsizetype(m_poolSize) * entriesAheadPerWorker;
}

void WorkerConverter::foresee(const std::vector<ConversionJob> &upcoming)
{
    std::vector<ConversionJob> jobs;
    jobs.reserve(upcoming.size());
    for (const ConversionJob &job : upcoming)
        jobs.push_back(withAbsolutePaths(job));
    discard(m_ahead.foresee(jobs));
    workAhead();
}

DecodedImage WorkerConverter::decode(const QString &path)
{
    WorkerProtocol::Request request;
    request.type = WorkerProtocol::RequestType::Decode;
    request.imagePath = absolute(path);
    return decodedImageOf(answer(std::move(request)));
}

WorkerProtocol::Reply WorkerConverter::answer(WorkerProtocol::Request request)
{
    PoolTask task;
    task.request = std::move(request);
    waitFor(task);
    return task.reply;
}

// The task waiting for the walk gets the next worker free, before any work ahead.
void WorkerConverter::waitFor(PoolTask &task)
{
    while (task.state != PoolTask::State::Done) {
        if (task.state == PoolTask::State::Waiting) {
            if (judgedEarly(task))
                continue;
            if (PoolWorker *worker = idleWorker(true, false))
                dispatch(*worker, task);
            continue;
        }
        workAhead();
        waitForReplies();
    }
}

// A worker with nothing to do, started if need be; the pool grows up to its
// size. With mayQueue, one busy on a single request will do as well: it takes
// the next the moment it answers, however long this thread is kept from the
// CPU. When mayWait, waits for one to finish rather than give none.
PoolWorker *WorkerConverter::idleWorker(bool mayWait, bool mayQueue)
{
    for (;;) {
        for (const std::unique_ptr<PoolWorker> &worker : m_workers) {
            if (worker->connection.isBusy())
                continue;
            // One that cannot be started is handed out all the same: the
            // reason it gives stands for the result.
            if (!worker->connection.isAlive())
                worker->startProblem = startWorker(*worker);
            return worker.get();
        }
        if (int(m_workers.size()) < m_poolSize) {
            m_workers.push_back(std::make_unique<PoolWorker>(m_workerPath, m_environment));
            continue;
        }
        for (const std::unique_ptr<PoolWorker> &worker : m_workers) {
            if (mayQueue && worker->connection.isRunning() &&
                worker->connection.outstanding() < requestsPerWorker)
                return worker.get();
        }
        if (!mayWait)
            return nullptr;
        waitForReplies();
    }
}

QString WorkerConverter::startWorker(PoolWorker &worker)
{
    worker.unwatch();
    worker.forgetLastAnswered();
    const QString problem = worker.connection.start(m_timeLimit);
    if (worker.connection.isRunning())
        worker.watch([this] { onActivity(); });
    return problem;
}

void WorkerConverter::dispatch(PoolWorker &worker, PoolTask &task)
{
    if (!worker.connection.isRunning()) {
        finishTask(task, WorkerProtocol::failure(worker.startProblem));
        return;
    }
    task.state = PoolTask::State::Running;
    task.worker = &worker;
    worker.tasks.push_back(&task);
    task.request.resultSlot = worker.nextResultSlot;
    worker.nextResultSlot = (worker.nextResultSlot + 1) % WorkerProtocol::resultSlots;
    worker.connection.send(task.request, m_timeLimit);
    task.request.file.reset();
    m_deadlines.start();
}

// A file that fails before rendering costs no request: no worker need be
// free for it, and none forks for it.
bool WorkerConverter::judgedEarly(PoolTask &task)
{
    if (task.request.file.isValid())
        return false;
    const QString problem = openInputOf(task);
    if (problem.isEmpty())
        return false;
    finishTask(task, WorkerProtocol::failure(problem));
    return true;
}

void WorkerConverter::waitForReplies()
{
    std::vector<WorkerConnection *> connections;
    for (const std::unique_ptr<PoolWorker> &worker : m_workers)
        connections.push_back(&worker->connection);
    WorkerConnection::waitForAny(connections);
    collectReplies();
}

// The deadlines are checked while any worker has a request.
void WorkerConverter::collectReplies()
{
    for (const std::unique_ptr<PoolWorker> &worker : m_workers)
        collectRepliesOf(*worker);
    const bool anyBusy = std::any_of(
        m_workers.begin(), m_workers.end(),
        [](const std::unique_ptr<PoolWorker> &worker) { return worker->connection.isBusy(); });
    if (!anyBusy)
        m_deadlines.stop();
}

void WorkerConverter::collectRepliesOf(PoolWorker &worker)
{
    for (;;) {
        const QString scratchPath = worker.connection.scratchPath();
        const int finishedFolder = worker.connection.finishedDescriptor();
        std::optional<WorkerProtocol::Reply> reply = worker.connection.collect();
        if (!reply)
            return;
        PoolTask *task = taskAnswered(worker, reply->token);
        if (!worker.connection.isRunning()) {
            worker.unwatch();
            worker.requeueTasks();
        }
        if (!task)
            continue;
        const QString file = task->request.type == WorkerProtocol::RequestType::Decode
                                 ? task->request.imagePath
                                 : task->request.job.input;
        reply->failure = withoutScratchPaths(reply->failure, scratchPath, file);
        finishTask(*task, std::move(*reply), finishedFolder);
        if (task->state == PoolTask::State::Done && task->reply.failure.isEmpty() &&
            worker.connection.isRunning())
            worker.rememberAnswered(*task);
    }
}

void WorkerConverter::finishTask(PoolTask &task, WorkerProtocol::Reply reply, int finishedFolder)
{
    task.state = PoolTask::State::Done;
    task.worker = nullptr;
    task.heldFile.reset();
    task.heldSize = 0;
    if (task.request.type == WorkerProtocol::RequestType::Convert && reply.failure.isEmpty() &&
        !reply.text.isEmpty()) {
        keepThumbnail(task, reply, finishedFolder);
        if (!m_ahead.mayKeep(task)) {
            // Made again when there is room, or when the walk reaches it.
            task.makeAgain();
            return;
        }
    }
    task.reply = std::move(reply);
}

// A reply says only whether it worked: the thumbnail is taken from where we
// expect it, and copied at once, since the worker clears its folder when its
// next request comes and could change the file at any time.
// A thumbnail can be no larger than its job can make: a worker's slot is
// judged by its size on our own descriptor, however little of it is written.
void WorkerConverter::keepThumbnail(PoolTask &task, WorkerProtocol::Reply &reply,
                                    int finishedFolder)
{
    QString problem;
    const QByteArray result = WorkerProtocol::resultName(task.request.resultSlot);
    task.heldFile = CheckedFile::copyOfWorkerFile(
        finishedFolder, result.constData(), task.request.job.largestThumbnailSize(), &problem);
    // Nothing of a run may stay behind once it ends, idle workers' last
    // thumbnails included.
    ::unlinkat(finishedFolder, result.constData(), 0);
    if (!task.heldFile.isValid())
        reply = WorkerProtocol::failure(
            QStringLiteral("the converter's thumbnail cannot be taken: %1").arg(problem));
    struct stat status = {};
    if (task.heldFile.isValid() && ::fstat(task.heldFile.get(), &status) == 0)
        task.heldSize = status.st_size;
}

// Keeps every worker busy on the jobs the walk will ask for next.
void WorkerConverter::workAhead()
{
    while (PoolTask *task = m_ahead.nextWaiting()) {
        if (judgedEarly(*task))
            continue;
        PoolWorker *worker = idleWorker(false, true);
        if (!worker)
            return;
        dispatch(*worker, *task);
    }
}

// A worker busy on one is stopped, with its Ghostscript; it starts again when
// next needed. The other request it held waits for a worker again.
void WorkerConverter::discard(LookAhead::Tasks tasks)
{
    for (const std::unique_ptr<PoolTask> &task : tasks) {
        if (PoolWorker *worker = task->worker) {
            worker->unwatch();
            worker->connection.kill();
            std::erase(worker->tasks, task.get());
            worker->requeueTasks();
        }
    }
}

void WorkerConverter::onActivity()
{
    collectReplies();
    workAhead();
}
