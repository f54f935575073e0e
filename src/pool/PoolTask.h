#pragma once

#include "protocol/UniqueFd.h"
#include "protocol/WorkerProtocol.h"
#include "run/FileStamp.h"

#include <QtGlobal>

#include <optional>

struct PoolWorker;

// One request on its way through the pool: waiting for a worker, sent to one,
// or answered; for a conversion, our own copy of the thumbnail it made.
struct PoolTask
{
    enum class State { Waiting, Running, Done };

    WorkerProtocol::Request request;
    State state = State::Waiting;
    // Set when the task was handed out before the walk reached its entry.
    bool ahead = false;
    // The input as the worker got it: the file we opened for it.
    std::optional<FileStamp> inputWhenStarted;
    WorkerProtocol::Reply reply;
    // Our own copy of the finished thumbnail, out of the worker's reach.
    UniqueFd heldFile;
    qint64 heldSize = 0;
    PoolWorker *worker = nullptr;
    // The worker that answered it, while it may still take that answer back.
    PoolWorker *answeredBy = nullptr;

    PoolTask() = default;
    PoolTask(const PoolTask &) = delete;
    PoolTask &operator=(const PoolTask &) = delete;
    ~PoolTask();

    // Made again from the start: what it held is let go.
    void makeAgain();
};
