#include "run/OutputPath.h"

#include "protocol/SystemError.h"
#include "protocol/UniqueFd.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int openFolderBelow(int parent, const QByteArray &name)
{
    return ::openat(parent, name.constData(), O_PATH | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC);
}

} // namespace

bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

QString outputFilePath(const QString &imageFolder, const QString &outputName)
{
    return imageFolder + QLatin1Char('/') + outputName;
}

// The image folder itself is the user's, typed or picked, and may be reached
// through links; what lies below it is made or checked here.
QString makeSubfolders(const QString &imageFolder, const QString &relativeFolder)
{
    UniqueFd folder(
        ::open(QFile::encodeName(imageFolder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isValid())
        return QStringLiteral("the image folder cannot be opened: %1").arg(systemError(errno));
    QString made;
    for (const QString &component : relativeFolder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        made += component + QLatin1Char('/');
        if (!isPlainFileName(component))
            return QStringLiteral("the thumbnail's folder %1 is not a plain folder name").arg(made);
        const QByteArray name = QFile::encodeName(component);
        UniqueFd below(openFolderBelow(folder.get(), name));
        if (!below.isValid() && errno == ENOENT &&
            (::mkdirat(folder.get(), name.constData(), 0777) == 0 || errno == EEXIST))
            below.reset(openFolderBelow(folder.get(), name));
        if (!below.isValid()) {
            const int error = errno;
            return QStringLiteral("the thumbnail's folder %1 cannot be made: %2")
                .arg(made, error == ELOOP || error == ENOTDIR
                               ? QStringLiteral("a link or a file of that name is in the way")
                               : systemError(error));
        }
        folder = std::move(below);
    }
    return QString();
}
