#include "pool/WorkerLocation.h"

#include "settings/InstallLayout.h"

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
    QStringList candidates = {QDir::cleanPath(program.filePath(InstallLayout::workerFileName()))};
    for (const QString &installed : InstallLayout::workerPaths())
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
