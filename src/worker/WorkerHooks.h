#pragma once

#include "protocol/WorkerProtocol.h"
#include "worker/Worker.h"

#include <QString>

#include <functional>

// What a worker program adds to the worker that runWorker runs. The installed
// worker adds nothing; the tests' worker installs its probes and faults
// through it, and the benchmark asks for the cold renderer.
struct WorkerHooks
{
    Worker::Rendering rendering = Worker::Rendering::Warm;
    // Only the tests' worker runs unconfined, when told to: for measuring what
    // the confinement costs, and for showing what gets through without it.
    bool confined = true;
    // False answers every request in the worker's main process, as a worker
    // taken over by a document could.
    bool answerInChild = true;
    // Once the worker exists and is confined, before reading narrows and before
    // any request; with the scratch folder's path.
    std::function<void(Worker &worker, const QString &scratchPath)> attach;
    // After each answer, in the process that answered, with where a finished
    // thumbnail of the request lies.
    std::function<void(const WorkerProtocol::Request &request, const QString &resultPath)>
        afterAnswer;
};
