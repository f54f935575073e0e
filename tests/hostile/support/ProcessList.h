#pragma once

#include <QList>
#include <QString>

#include <sys/types.h>

// Living processes (zombies aside), read from /proc.
namespace ProcessList {

QList<pid_t> childrenRunning(pid_t parent, const QString &program);
QList<pid_t> groupMembers(pid_t group);

} // namespace ProcessList
