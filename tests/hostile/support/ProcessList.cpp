#include "ProcessList.h"

#include "protocol/WorkerProtocol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

struct Status
{
    pid_t pid = 0;
    char state = '?';
    pid_t parent = 0;
    pid_t group = 0;
    pid_t session = 0;
};

// /proc/<pid>/stat: pid (name) state parent group session ...; the name may
// hold blanks.
Status statusOf(const QString &pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 4)
        return {};
    return {pid.toInt(), fields[0].isEmpty() ? '?' : fields[0][0], fields[1].toInt(),
            fields[2].toInt(), fields[3].toInt()};
}

QList<Status> living()
{
    QList<Status> processes;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &pid : pids) {
        bool number = false;
        pid.toInt(&number);
        if (!number)
            continue;
        const Status status = statusOf(pid);
        if (status.pid > 0 && status.state != 'Z' && status.state != 'X')
            processes.append(status);
    }
    return processes;
}

} // namespace

namespace ProcessList {

QList<pid_t> childrenRunning(pid_t parent, const QString &program)
{
    const QString wanted = QFileInfo(program).canonicalFilePath();
    QList<pid_t> children;
    for (const Status &process : living()) {
        if (process.parent == parent &&
            QFileInfo(QStringLiteral("/proc/%1/exe").arg(process.pid)).canonicalFilePath() ==
                wanted)
            children.append(process.pid);
    }
    return children;
}

QList<pid_t> sessionMembers(pid_t session)
{
    QList<pid_t> members;
    for (const Status &process : living()) {
        if (process.session == session)
            members.append(process.pid);
    }
    return members;
}

QList<pid_t> requestProcesses(pid_t worker)
{
    QList<pid_t> members;
    for (const Status &process : living()) {
        if (process.session == worker && process.group != worker)
            members.append(process.pid);
    }
    return members;
}

QString scratchFolderOf(pid_t worker)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(worker));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QFile::decodeName(file.readAll().split('\0').value(1));
}

QString workingFolderOf(pid_t worker)
{
    return scratchFolderOf(worker) + QLatin1Char('/') +
           QLatin1String(WorkerProtocol::workingFolderName);
}

} // namespace ProcessList
