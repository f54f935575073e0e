#include "pool/OrphanedScratch.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

const QString prefix = QStringLiteral("leafmark-scratch-");

// ImageMagick reads escapes and globs in names; the worker's folder and all
// that it names there must be plain.
QString scratchParent()
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._-]+$"));
    const QString temp = QDir::tempPath();
    return plain.match(temp).hasMatch() ? temp : QStringLiteral("/tmp");
}

// A process of another user counts as running too: its ID may have been
// reused, and a folder kept too long does no harm.
bool isRunning(pid_t pid)
{
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

} // namespace

namespace OrphanedScratch {

QString folderTemplate()
{
    return scratchParent() + QLatin1Char('/') + prefix + QString::number(::getpid()) +
           QStringLiteral("-XXXXXX");
}

void removeLeftovers()
{
    static const QRegularExpression name(QLatin1Char('^') + prefix +
                                         QStringLiteral("([0-9]+)-[A-Za-z0-9]+$"));
    const QFileInfoList folders =
        QDir(scratchParent()).entryInfoList({prefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden);
    for (const QFileInfo &folder : folders) {
        const QRegularExpressionMatch match = name.match(folder.fileName());
        if (!match.hasMatch() || folder.isSymLink() || folder.ownerId() != ::geteuid())
            continue;
        if (!isRunning(match.captured(1).toInt()))
            QDir(folder.filePath()).removeRecursively();
    }
}

} // namespace OrphanedScratch
