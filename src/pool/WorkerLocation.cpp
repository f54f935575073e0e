#include "pool/WorkerLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const QString WorkerName = QStringLiteral("leafmark-worker");

bool isProgram(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

QString locateWorker(const QString &programFolder)
{
    const QDir program(programFolder);
    const QStringList candidates = {
        QDir::cleanPath(program.filePath(WorkerName)),
        QDir::cleanPath(program.filePath(QStringLiteral("../libexec/leafmark/") + WorkerName)),
        QDir::cleanPath(program.filePath(QStringLiteral("../lib/leafmark/") + WorkerName)),
    };
    for (const QString &candidate : candidates) {
        if (isProgram(candidate))
            return candidate;
    }
    return candidates.first();
}

QString locateWorker()
{
    return locateWorker(QCoreApplication::applicationDirPath());
}
