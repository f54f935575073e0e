#pragma once

#include <QList>
#include <QString>

// What /proc tells about a process.
namespace ProcessStats {

// Resident memory (VmRSS) in KiB, or -1 when the process is gone.
qint64 residentKiB(qint64 pid);

// User and system time in seconds, with that of the children it has waited
// for (Ghostscript, for the worker); -1 when the process is gone.
double cpuSeconds(qint64 pid);

// The ids of the children of this process running the named program.
QList<qint64> childrenNamed(const QString &program);

} // namespace ProcessStats
