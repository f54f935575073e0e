#include "pool/WorkerConverter.h"

#include "pool/FilePlacement.h"
#include "pool/HeldThumbnails.h"
#include "protocol/FileIdentity.h"
#include "pool/OrphanedScratch.h"
#include "pool/WorkerConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

extern char **environ;

namespace {

constexpr int maxPoolSize = 16;
// Each worker keeps two entries ahead in hand: one converting, one waiting.
constexpr int entriesAheadPerWorker = 2;
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
    std::optional<FileIdentity> inputWhenStarted;
    WorkerProtocol::Reply reply;
    QString heldFile;
    struct Worker *worker = nullptr;

    ~Task() { HeldThumbnails::release(heldFile); }
};

struct WorkerConverter::Worker
{
    Worker(const QString &path, const std::vector<QByteArray> &environment)
        : connection(path, environment)
    {
    }
    ~Worker() { unwatch(); }

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

    WorkerConnection connection;
    QString startProblem;
    Task *task = nullptr;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
};

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
    m_held = std::make_unique<HeldThumbnails>();
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
    const std::optional<FileIdentity> now = FileIdentity::ofPath(task.request.job.input);
    if (now != task.inputWhenStarted)
        return false;
    return task.reply.resultFile.isEmpty() || task.reply.input == now;
}

// The task waiting for the walk gets the next worker free, before any work ahead.
void WorkerConverter::waitFor(Task &task)
{
    while (task.state != Task::State::Done) {
        if (task.state == Task::State::Waiting) {
            if (Worker *worker = idleWorker(true))
                dispatch(*worker, task);
            continue;
        }
        workAhead();
        waitForReplies();
    }
}

// A worker with nothing to do, started if need be; the pool grows up to its
// size. When mayWait, waits for one to finish rather than give none.
WorkerConverter::Worker *WorkerConverter::idleWorker(bool mayWait)
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
        if (!mayWait)
            return nullptr;
        waitForReplies();
    }
}

QString WorkerConverter::startWorker(Worker &worker)
{
    worker.unwatch();
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
    if (task.request.type == WorkerProtocol::RequestType::Convert)
        task.inputWhenStarted = FileIdentity::ofPath(task.request.job.input);
    task.state = Task::State::Running;
    task.worker = &worker;
    worker.task = &task;
    worker.connection.send(task.request, m_timeLimit);
    m_deadlines.start();
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
        worker->connection.drainErrorOutput();
        if (!worker->connection.isBusy())
            continue;
        std::optional<WorkerProtocol::Reply> reply = worker->connection.collect();
        if (!reply) {
            anyBusy = true;
            continue;
        }
        if (!worker->connection.isRunning())
            worker->unwatch();
        Task *task = std::exchange(worker->task, nullptr);
        if (task)
            finishTask(*task, std::move(*reply));
    }
    if (!anyBusy)
        m_deadlines.stop();
}

void WorkerConverter::finishTask(Task &task, WorkerProtocol::Reply reply)
{
    task.state = Task::State::Done;
    task.worker = nullptr;
    if (!reply.resultFile.isEmpty()) {
        QString problem;
        task.heldFile =
            m_held->take(reply.resultFile, task.request.job.outputExtension(), &problem);
        if (task.heldFile.isEmpty())
            reply = WorkerProtocol::failure(problem);
    }
    task.reply = std::move(reply);
}

// Keeps every worker busy on the entries the walk will meet next, up to two
// for each worker.
void WorkerConverter::workAhead()
{
    if (!m_forecast)
        return;
    while (!m_forecastEnded &&
           m_ahead.size() < size_t(m_poolSize) * entriesAheadPerWorker) {
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
        if (task->state != Task::State::Waiting)
            continue;
        Worker *worker = idleWorker(false);
        if (!worker)
            return;
        dispatch(*worker, *task);
    }
}

// A worker busy on it is stopped, with its Ghostscript; it starts again when
// next needed.
void WorkerConverter::discard(std::unique_ptr<Task> task)
{
    if (Worker *worker = task->worker) {
        worker->unwatch();
        worker->connection.kill();
        worker->task = nullptr;
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
    if (const QString problem = placeThumbnail(job, task.heldFile); !problem.isEmpty())
        return {QString(), problem};
    return {reply.text, QString()};
}
