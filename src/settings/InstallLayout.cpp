#include "settings/InstallLayout.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace InstallLayout {

QString workerFileName()
{
    return QStringLiteral("leafmark-worker");
}

QStringList workerPaths()
{
    return {QStringLiteral("../libexec/leafmark/") + workerFileName(),
            QStringLiteral("../lib/leafmark/") + workerFileName()};
}

bool isInstalledCopy(const QString &programFolder)
{
    const QDir program(programFolder);
    const QStringList installed = workerPaths();
    return std::any_of(installed.begin(), installed.end(), [&](const QString &path) {
        return QFileInfo::exists(program.filePath(path));
    });
}

} // namespace InstallLayout
