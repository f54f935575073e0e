#pragma once

#include <QList>
#include <QString>

#include <sys/types.h>

// Living processes (zombies aside), read from /proc.
namespace ProcessList {

QList<pid_t> childrenRunning(pid_t parent, const QString &program);
// A worker leads a session; each of its requests runs in a group of its own
// within it.
QList<pid_t> sessionMembers(pid_t session);
// Members of a worker's session in groups other than its own: its requests'
// processes, not what it starts for itself.
QList<pid_t> requestProcesses(pid_t worker);
// A worker's one argument.
QString scratchFolderOf(pid_t worker);
// Where its requests work, in that folder.
QString workingFolderOf(pid_t worker);

} // namespace ProcessList
