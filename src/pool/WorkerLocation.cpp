#include "pool/WorkerLocation.h"

#include "settings/rutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

bool isProgram(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

QString locateWorker(const QString &programFolder)
{
    const QDir program(programFolder);
    QStringList candidates = {QDir::cleanPath(program.filePath(WorkerFileName()))};
    for (const QString &installed : InstalledWorkerPaths())
        candidates.append(QDir::cleanPath(program.filePath(installed)));
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
