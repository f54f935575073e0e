#include "run/OutputPath.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int openFolderBelow(int parent, const QByteArray &name)
{
    return ::openat(parent, name.constData(), O_PATH | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC);
}

} // namespace

bool IsPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

QString OutputPath(const QString &imageFolder, const QString &outputName)
{
    return imageFolder + QLatin1Char('/') + outputName;
}

// The image folder itself is the user's, typed or picked, and may be reached
// through links; what lies below it is made or checked here.
QString MakeSubfolders(const QString &imageFolder, const QString &relativeFolder)
{
    int folder =
        ::open(QFile::encodeName(imageFolder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return QStringLiteral("the image folder cannot be opened: %1")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    QString made;
    for (const QString &component : relativeFolder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        made += component + QLatin1Char('/');
        if (!IsPlainFileName(component)) {
            ::close(folder);
            return QStringLiteral("the thumbnail's folder %1 is not a plain folder name").arg(made);
        }
        const QByteArray name = QFile::encodeName(component);
        int below = openFolderBelow(folder, name);
        if (below < 0 && errno == ENOENT &&
            (::mkdirat(folder, name.constData(), 0777) == 0 || errno == EEXIST))
            below = openFolderBelow(folder, name);
        const int error = errno;
        ::close(folder);
        if (below < 0)
            return QStringLiteral("the thumbnail's folder %1 cannot be made: %2")
                .arg(made, error == ELOOP || error == ENOTDIR
                               ? QStringLiteral("a link or a file of that name is in the way")
                               : QString::fromLocal8Bit(std::strerror(error)));
        folder = below;
    }
    ::close(folder);
    return QString();
}
