#include "pool/PoolWorker.h"

#include "pool/PoolTask.h"

#include <utility>

PoolWorker::PoolWorker(const QString &path, const std::vector<QByteArray> &environment)
    : connection(path, environment)
{
}

PoolWorker::~PoolWorker()
{
    unwatch();
    forgetLastAnswered();
}

void PoolWorker::watch(const std::function<void()> &onActivity)
{
    unwatch();
    for (const int fd : {connection.replyDescriptor(), connection.errorDescriptor()}) {
        auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), onActivity);
        notifiers.push_back(std::move(notifier));
    }
}

// A notifier may be the one whose signal is being handled.
void PoolWorker::unwatch()
{
    for (std::unique_ptr<QSocketNotifier> &notifier : notifiers) {
        notifier->setEnabled(false);
        notifier.release()->deleteLater();
    }
    notifiers.clear();
}

void PoolWorker::forgetLastAnswered()
{
    if (lastAnswered)
        std::exchange(lastAnswered, nullptr)->answeredBy = nullptr;
}

void PoolWorker::rememberAnswered(PoolTask &task)
{
    forgetLastAnswered();
    lastAnswered = &task;
    task.answeredBy = this;
}

void PoolWorker::requeueTasks()
{
    for (PoolTask *task : tasks) {
        task->state = PoolTask::State::Waiting;
        task->worker = nullptr;
    }
    tasks.clear();
}
