#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

#include <vector>

// A worker process just started, and this process's ends of the socket on its
// standard input and of the pipes from its standard output and error; or, with
// no process, why it did not start.
struct LaunchedWorker
{
    pid_t pid = 0;
    int requests = -1;
    int replies = -1;
    int errors = -1;
    QString problem;
};

// Starts the worker program on the scratch folder, confined as far as the
// kernel allows: in a process group of its own, so that one signal ends it
// and every Ghostscript it started, dying with this process, and where user
// namespaces are open to us, as the first process of new user, PID and
// network namespaces. Of the environment only an allow-list reaches it; its
// files are bounded in size, and in its own user namespace its processes in
// number. The exec happens in the child without allocating, so this is safe
// in a threaded process.
LaunchedWorker launchConfinedWorker(const QString &workerPath, const QString &scratchPath,
                                    std::vector<QByteArray> environment);
