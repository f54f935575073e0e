#pragma once

#include "protocol/WorkerProtocol.h"

#include <QByteArray>
#include <QString>

// Built into the tests' worker only. After every conversion that worked,
// except of a PDF whose name starts with "honest", it does what a worker taken over by a document
// could: puts something else where the window's process takes the thumbnail from, or says more than
// it was asked. LEAFMARK_WORKER_LIE is one of "link:<path>" (a symbolic link to path), "folder",
// "fifo", "huge" (a file of 1 GiB that starts like a PNG), "sparse:<MiB>" (the same, as large as
// given), "nothing", "twice" (a second "done"), "another" (a "done" for a request it never saw),
// "flood" (endless "done"s), "reason:<MiB>" (a failure of that many million characters, for its
// only reply), "scratch" (a failure that names its scratch folder, likewise) and
// "stderr:<MiB>" (that much on its error output), each before its real reply.
class LyingResult
{
public:
    explicit LyingResult(const QByteArray &setting);

    void replace(const WorkerProtocol::Request &request, const QString &resultPath) const;
    // The lies that say more than one reply come from the worker's main
    // process, as if it were taken over: a request's own process has only one
    // reply passed on.
    bool speaksForTheWorker() const;

private:
    void replaceFile(const QByteArray &path) const;
    void sayMore(const WorkerProtocol::Request &request) const;

    QByteArray m_kind;
    QByteArray m_target;
};
