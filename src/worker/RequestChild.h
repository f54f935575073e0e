#pragma once

#include "protocol/WorkerProtocol.h"
#include "worker/WorkerChannel.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// Everything that a document could take over runs in a child forked for its
// one request, in a process group of its own, holding nothing but its
// document, standard streams and a pipe for its one reply. The whole group is
// killed and reaped before that reply is passed on.
class RequestChild
{
public:
    using Answer = std::function<WorkerProtocol::Reply(const WorkerProtocol::Request &)>;

    // Call once, before any child: orphans of a request become this process's,
    // so that they can be reaped.
    static bool adoptOrphans();

    // handOver runs once nothing of the request is left, before its reply is
    // passed on.
    // False when the worker should end: the reply could not be passed on, or
    // the request left something that could not be ended. A child killed by
    // a signal takes this process down the same way, as the window's process
    // expects of a worker that crashed.
    static bool answer(const Answer &answer, WorkerChannel &channel,
                       const WorkerProtocol::Request &request, const QString &scratchPath,
                       const QStringList &programs, const std::function<void()> &handOver);

    // From a signal handler: ends the request under way, if any.
    static void endCurrent();

    // One more descriptor every request child keeps, such as the tests'
    // record of what the confinement refused.
    static void keepInEveryRequest(int fd);

    // The only descriptors a request child keeps, in ascending order.
    static std::vector<int> keptDescriptors(int document, int replyPipe);
};
