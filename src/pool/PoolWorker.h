#pragma once

#include "pool/WorkerConnection.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

struct PoolTask;

// One worker process of the pool, with the requests sent to it in the order
// it answers them.
struct PoolWorker
{
    PoolWorker(const QString &path, const std::vector<QByteArray> &environment);
    ~PoolWorker();
    PoolWorker(const PoolWorker &) = delete;
    PoolWorker &operator=(const PoolWorker &) = delete;

    // Replies and Ghostscript's chatter are read as they come while the event
    // loop runs: at the walk's yield points and in modal dialogs.
    void watch(const std::function<void()> &onActivity);
    void unwatch();
    void forgetLastAnswered();
    void rememberAnswered(PoolTask &task);
    // Its requests that were sent to it went unanswered when it stopped:
    // they wait for a worker again.
    void requeueTasks();

    WorkerConnection connection;
    QString startProblem;
    std::deque<PoolTask *> tasks;
    PoolTask *lastAnswered = nullptr;
    quint8 nextResultSlot = 0;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
};
