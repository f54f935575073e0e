#include "pool/WorkerConverter.h"

#include "pool/CheckedFile.h"
#include "pool/FileIdentity.h"
#include "pool/FilePlacement.h"
#include "pool/OrphanedScratch.h"
#include "pool/WorkerConnection.h"
#include "protocol/FileSignature.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSocketNotifier>

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
// What the thumbnails made ahead of the walk may hold of the window's memory.
constexpr qint64 heldAheadBudget = 64 * 1024 * 1024;

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

WorkerProtocol::Request convertRequest(const ConversionJob &job)
{
    WorkerProtocol::Request request;
    request.type = WorkerProtocol::RequestType::Convert;
    request.job = job;
    return request;
}

} // namespace

struct WorkerConverter::Task
{
    enum class State { Waiting, Running, Done };

    WorkerProtocol::Request request;
    State state = State::Waiting;
    // Set when the task was handed out before the walk reached its entry.
    bool ahead = false;
    // The input as the worker got it: the file we opened for it.
    std::optional<FileIdentity> inputWhenStarted;
    WorkerProtocol::Reply reply;
    // Our own copy of the finished thumbnail, out of the worker's reach.
    UniqueFd heldFile;
    qint64 heldSize = 0;
    struct Worker *worker = nullptr;
    // The worker that answered it, while it may still take that answer back.
    struct Worker *answeredBy = nullptr;

    Task() = default;
    Task(const Task &) = delete;
    Task &operator=(const Task &) = delete;
    ~Task();
};

struct WorkerConverter::Worker
{
    Worker(const QString &path, const std::vector<QByteArray> &environment)
        : connection(path, environment)
    {
    }
    ~Worker()
    {
        unwatch();
        forgetLastAnswered();
    }
    void forgetLastAnswered()
    {
        if (lastAnswered)
            std::exchange(lastAnswered, nullptr)->answeredBy = nullptr;
    }

    // Replies and Ghostscript's chatter are read as they come while the event
    // loop runs: at the walk's yield points and in modal dialogs.
    void watch(const std::function<void()> &onActivity)
    {
        unwatch();
        for (const int fd : {connection.replyDescriptor(), connection.errorDescriptor()}) {
            auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                             onActivity);
            notifiers.push_back(std::move(notifier));
        }
    }
    // A notifier may be the one whose signal is being handled.
    void unwatch()
    {
        for (std::unique_ptr<QSocketNotifier> &notifier : notifiers) {
            notifier->setEnabled(false);
            notifier.release()->deleteLater();
        }
        notifiers.clear();
    }

    // Its requests that were sent to it went unanswered when it stopped:
    // they wait for a worker again.
    void requeueTasks()
    {
        for (Task *task : tasks) {
            task->state = Task::State::Waiting;
            task->worker = nullptr;
        }
        tasks.clear();
    }

    WorkerConnection connection;
    QString startProblem;
    // The tasks sent to it, in the order it answers them.
    std::deque<Task *> tasks;
    Task *lastAnswered = nullptr;
    quint8 nextResultSlot = 0;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
};

WorkerConverter::Task::~Task()
{
    if (answeredBy)
        answeredBy->lastAnswered = nullptr;
}

WorkerConverter::WorkerConverter(QString workerPath, int poolSize)
    : m_workerPath(std::move(workerPath)), m_poolSize(std::clamp(poolSize, 1, maxPoolSize))
{
    m_deadlines.setInterval(deadlineCheckInterval);
    QObject::connect(&m_deadlines, &QTimer::timeout, &m_deadlines, [this] {
        collectReplies();
        workAhead();
    });
}

WorkerConverter::~WorkerConverter()
{
    discardAllAhead();
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
    discardAllAhead();
    m_workers.clear();
    m_environment = currentEnvironment();
    m_workers.push_back(std::make_unique<Worker>(m_workerPath, m_environment));
    Worker &first = *m_workers.front();
    first.startProblem = startWorker(first);
    return first.startProblem;
}

ConversionResult WorkerConverter::Convert(const ConversionJob &walkJob)
{
    const ConversionJob job = withAbsolutePaths(walkJob);
    std::unique_ptr<Task> task = takeAheadTaskFor(job);
    if (task) {
        waitFor(*task);
        if (!stillHolds(*task))
            task.reset();
    }
    if (!task) {
        task = std::make_unique<Task>();
        task->request = convertRequest(job);
        waitFor(*task);
    }
    const ConversionResult result = placeResult(job, *task);
    task.reset();
    workAhead();
    return result;
}

WorkerProtocol::Reply WorkerConverter::answer(WorkerProtocol::Request request)
{
    Task task;
    request.imagePath = absolute(request.imagePath);
    task.request = std::move(request);
    waitFor(task);
    return task.reply;
}

void WorkerConverter::foresee(Forecast forecast)
{
    discardAllAhead();
    m_forecast = std::move(forecast);
    m_forecastEnded = !m_forecast;
    workAhead();
}

// The walk meets its entries in the forecast's order, so what lies before the
// entry in hand will not be asked for. An entry not foreseen at all means the
// tree changed under the look-ahead: what it holds is of no use then.
std::unique_ptr<WorkerConverter::Task> WorkerConverter::takeAheadTaskFor(const ConversionJob &job)
{
    const auto found = std::find_if(m_ahead.begin(), m_ahead.end(), [&](const auto &task) {
        return task->request.job.input == job.input;
    });
    if (found == m_ahead.end()) {
        discardAllAhead();
        return nullptr;
    }
    while (m_ahead.begin() != found) {
        discard(std::move(m_ahead.front()));
        m_ahead.pop_front();
    }
    std::unique_ptr<Task> task = std::move(m_ahead.front());
    m_ahead.pop_front();
    if (task->request.job != job) {
        discard(std::move(task));
        return nullptr;
    }
    return task;
}

// Made from the file that is there now: replaced, changed or deleted since,
// it is converted again.
bool WorkerConverter::stillHolds(const Task &task) const
{
    if (!task.ahead)
        return true;
    return FileIdentity::ofPath(task.request.job.input) == task.inputWhenStarted;
}

// The task waiting for the walk gets the next worker free, before any work ahead.
void WorkerConverter::waitFor(Task &task)
{
    while (task.state != Task::State::Done) {
        if (task.state == Task::State::Waiting) {
            if (judgedEarly(task))
                continue;
            if (Worker *worker = idleWorker(true, false))
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
WorkerConverter::Worker *WorkerConverter::idleWorker(bool mayWait, bool mayQueue)
{
    for (;;) {
        for (const std::unique_ptr<Worker> &worker : m_workers) {
            if (worker->connection.isBusy())
                continue;
            // One that cannot be started is handed out all the same: the
            // reason it gives stands for the result.
            if (!worker->connection.isAlive())
                worker->startProblem = startWorker(*worker);
            return worker.get();
        }
        if (int(m_workers.size()) < m_poolSize) {
            m_workers.push_back(std::make_unique<Worker>(m_workerPath, m_environment));
            continue;
        }
        for (const std::unique_ptr<Worker> &worker : m_workers) {
            if (mayQueue && worker->connection.isRunning() &&
                worker->connection.outstanding() < requestsPerWorker)
                return worker.get();
        }
        if (!mayWait)
            return nullptr;
        waitForReplies();
    }
}

QString WorkerConverter::startWorker(Worker &worker)
{
    worker.unwatch();
    worker.forgetLastAnswered();
    const QString problem = worker.connection.start(m_timeLimit);
    if (worker.connection.isRunning()) {
        worker.watch([this] {
            collectReplies();
            workAhead();
        });
    }
    return problem;
}

void WorkerConverter::dispatch(Worker &worker, Task &task)
{
    if (!worker.connection.isRunning()) {
        finishTask(task, WorkerProtocol::failure(worker.startProblem));
        return;
    }
    task.state = Task::State::Running;
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
bool WorkerConverter::judgedEarly(Task &task)
{
    if (task.request.file.isValid())
        return false;
    const QString problem = openInputOf(task);
    if (problem.isEmpty())
        return false;
    finishTask(task, WorkerProtocol::failure(problem));
    return true;
}

// The worker may open nothing of the user's: it gets the file we opened.
QString WorkerConverter::openInputOf(Task &task)
{
    QString problem;
    if (task.request.type == WorkerProtocol::RequestType::Convert) {
        task.request.file = CheckedFile::openRegular(task.request.job.input,
                                                     std::numeric_limits<qint64>::max(), &problem);
        if (!task.request.file.isValid())
            return QStringLiteral("cannot read the PDF: %1").arg(problem);
        task.inputWhenStarted = FileIdentity::ofDescriptor(task.request.file.get());
        return earlyPdfProblem(task.request.file.get());
    } else if (task.request.type == WorkerProtocol::RequestType::Decode) {
        task.request.file =
            CheckedFile::openRegular(task.request.imagePath, CheckedFile::maxImageSize, &problem);
        if (!task.request.file.isValid())
            return QStringLiteral("cannot read the image: %1").arg(problem);
    }
    return QString();
}

void WorkerConverter::waitForReplies()
{
    std::vector<WorkerConnection *> connections;
    for (const std::unique_ptr<Worker> &worker : m_workers)
        connections.push_back(&worker->connection);
    WorkerConnection::waitForAny(connections);
    collectReplies();
}

void WorkerConverter::collectReplies()
{
    bool anyBusy = false;
    for (const std::unique_ptr<Worker> &worker : m_workers) {
        for (;;) {
            const QString scratchPath = worker->connection.scratchPath();
            const int scratchFolder = worker->connection.scratchDescriptor();
            std::optional<WorkerProtocol::Reply> reply = worker->connection.collect();
            if (!reply) {
                anyBusy = anyBusy || worker->connection.isBusy();
                break;
            }
            Task *task = taskAnswered(*worker, reply->token);
            if (!worker->connection.isRunning()) {
                worker->unwatch();
                worker->requeueTasks();
            }
            if (!task)
                continue;
            const QString file = task->request.type == WorkerProtocol::RequestType::Decode
                                     ? task->request.imagePath
                                     : task->request.job.input;
            reply->failure = withoutScratchPaths(reply->failure, scratchPath, file);
            finishTask(*task, std::move(*reply), scratchFolder);
            if (task->state == Task::State::Done && task->reply.failure.isEmpty() &&
                worker->connection.isRunning()) {
                worker->forgetLastAnswered();
                worker->lastAnswered = task;
                task->answeredBy = worker.get();
            }
        }
    }
    if (!anyBusy)
        m_deadlines.stop();
}

// The reply stands for the oldest request sent to the worker, or, taken back,
// for the one it answered last.
WorkerConverter::Task *WorkerConverter::taskAnswered(Worker &worker, quint64 token)
{
    if (!worker.tasks.empty() && worker.tasks.front()->request.token == token) {
        Task *task = worker.tasks.front();
        worker.tasks.pop_front();
        return task;
    }
    if (worker.lastAnswered && worker.lastAnswered->request.token == token &&
        worker.lastAnswered->state == Task::State::Done) {
        Task *task = worker.lastAnswered;
        worker.forgetLastAnswered();
        return task;
    }
    return nullptr;
}

// A reply says only whether it worked: the thumbnail is taken from where we
// expect it, and copied at once, since the worker clears its folder when its
// next request comes and could change the file at any time.
// A thumbnail can be no larger than its job can make: a worker's slot is
// judged by its size on our own descriptor, however little of it is written.
void WorkerConverter::finishTask(Task &task, WorkerProtocol::Reply reply, int scratchFolder)
{
    task.state = Task::State::Done;
    task.worker = nullptr;
    task.heldFile.reset();
    task.heldSize = 0;
    if (task.request.type == WorkerProtocol::RequestType::Convert && reply.failure.isEmpty() &&
        !reply.text.isEmpty()) {
        QString problem;
        const QByteArray result = WorkerProtocol::resultName(task.request.resultSlot);
        task.heldFile = CheckedFile::copyOfWorkerFile(
            scratchFolder, result.constData(), task.request.job.largestThumbnailSize(), &problem);
        // Nothing of a run may stay behind once it ends, idle workers' last
        // thumbnails included.
        ::unlinkat(scratchFolder, result.constData(), 0);
        if (!task.heldFile.isValid())
            reply = WorkerProtocol::failure(
                QStringLiteral("the converter's thumbnail cannot be taken: %1").arg(problem));
        struct stat status = {};
        if (task.heldFile.isValid() && ::fstat(task.heldFile.get(), &status) == 0)
            task.heldSize = status.st_size;
        if (isHeldAhead(task) && heldAhead() > heldAheadBudget) {
            // Made again when there is room, or when the walk reaches it.
            task.heldFile.reset();
            task.heldSize = 0;
            task.state = Task::State::Waiting;
            return;
        }
    }
    task.reply = std::move(reply);
}

bool WorkerConverter::isHeldAhead(const Task &task) const
{
    return std::any_of(m_ahead.begin(), m_ahead.end(),
                       [&](const std::unique_ptr<Task> &ahead) { return ahead.get() == &task; });
}

qint64 WorkerConverter::heldAhead() const
{
    qint64 total = 0;
    for (const std::unique_ptr<Task> &task : m_ahead)
        total += task->heldSize;
    return total;
}

// Keeps every worker busy on the entries the walk will meet next, up to two
// for each worker.
void WorkerConverter::workAhead()
{
    if (!m_forecast)
        return;
    while (!m_forecastEnded && m_ahead.size() < size_t(m_poolSize) * entriesAheadPerWorker) {
        const std::optional<ConversionJob> job = m_forecast();
        if (!job) {
            m_forecastEnded = true;
            break;
        }
        auto task = std::make_unique<Task>();
        task->request = convertRequest(withAbsolutePaths(*job));
        task->ahead = true;
        m_ahead.push_back(std::move(task));
    }
    for (const std::unique_ptr<Task> &task : m_ahead) {
        if (task->state != Task::State::Waiting || judgedEarly(*task))
            continue;
        if (heldAhead() + task->request.job.largestThumbnailSize() > heldAheadBudget)
            return;
        Worker *worker =
            idleWorker(false, task->request.type == WorkerProtocol::RequestType::Convert);
        if (!worker)
            return;
        dispatch(*worker, *task);
    }
}

// A worker busy on it is stopped, with its Ghostscript; it starts again when
// next needed. The other request it held waits for a worker again.
void WorkerConverter::discard(std::unique_ptr<Task> task)
{
    if (Worker *worker = task->worker) {
        worker->unwatch();
        worker->connection.kill();
        std::erase(worker->tasks, task.get());
        worker->requeueTasks();
    }
}

void WorkerConverter::discardAllAhead()
{
    while (!m_ahead.empty()) {
        discard(std::move(m_ahead.front()));
        m_ahead.pop_front();
    }
}

ConversionResult WorkerConverter::placeResult(const ConversionJob &job, Task &task) const
{
    const WorkerProtocol::Reply &reply = task.reply;
    if (!reply.failure.isEmpty() || reply.text.isEmpty())
        return {QString(), reply.failure};
    if (const QString problem = placeThumbnail(job, task.heldFile.get()); !problem.isEmpty())
        return {QString(), problem};
    return {reply.text, QString()};
}
