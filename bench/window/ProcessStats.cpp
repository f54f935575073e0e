#include "ProcessStats.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace ProcessStats {

namespace {

struct StatLine
{
    QString name;
    // The fields after the name: state, ppid, ...
    QStringList rest;
};

// "pid (name) state ppid ...": the name may hold spaces, so split after it.
StatLine readStat(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QString line = QString::fromLocal8Bit(stat.readAll());
    const qsizetype open = line.indexOf(QLatin1Char('('));
    const qsizetype close = line.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close < open)
        return {};
    return {line.mid(open + 1, close - open - 1),
            line.mid(close + 2).split(QLatin1Char(' '), Qt::SkipEmptyParts)};
}

} // namespace

qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

double cpuSeconds(qint64 pid)
{
    const StatLine stat = readStat(pid);
    if (stat.rest.size() < 15)
        return -1;
    // utime, stime, cutime, cstime are fields 14 to 17 of the whole line.
    qint64 ticks = 0;
    for (int field = 11; field <= 14; ++field)
        ticks += stat.rest[field].toLongLong();
    return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

QList<qint64> childrenNamed(const QString &program)
{
    const QString parent = QString::number(getpid());
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    QList<qint64> children;
    for (const QString &entry : entries) {
        const StatLine stat = readStat(entry.toLongLong());
        // The kernel keeps 15 characters of a program's name.
        if (stat.name == program.left(15) && stat.rest.value(1) == parent)
            children.append(entry.toLongLong());
    }
    return children;
}

} // namespace ProcessStats
