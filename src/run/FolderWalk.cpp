#include "FolderWalk.h"

#include "Converter.h"
#include "NameLookup.h"
#include "WalkView.h"
#include "settings/FormatTable.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

namespace {

struct DirCloser
{
    void operator()(DIR *dir) const { closedir(dir); }
};
using Listing = std::unique_ptr<DIR, DirCloser>;

Listing openListing(const QString &path)
{
    return Listing(opendir(QFile::encodeName(path).constData()));
}

QString entryName(const dirent *entry)
{
    QByteArray field(entry->d_name, sizeof entry->d_name);
    return QFile::decodeName(StripNulls(field));
}

bool isDotEntry(const QString &name)
{
    return name == QLatin1String(".") || name == QLatin1String("..");
}

// A link counts as what it points to, so a link to a folder is walked like one.
bool isFolder(const QString &path, unsigned char type)
{
    if (type == DT_DIR)
        return true;
    if (type != DT_LNK && type != DT_UNKNOWN)
        return false;
    struct stat info;
    return stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

QByteArray StripNulls(QByteArray &OriginalStr)
{
    const qsizetype nul = OriginalStr.indexOf('\0');
    if (nul >= 0)
        OriginalStr.truncate(nul);
    return OriginalStr;
}

FolderWalk::FolderWalk(WalkView &view, Converter &converter) : m_view(view), m_converter(converter)
{
}

void FolderWalk::FindFilesAPI(QString path, const QString &SearchStr, qint64 &FileCount)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    if (!enterFolderOnce(path))
        return;

    const QStringList subfolders = collectSubfolders(path);
    if (!convertMatchingEntries(path, SearchStr, FileCount))
        return;

    for (const QString &name : subfolders) {
        if (m_view.CancelRequested())
            return;
        FindFilesAPI(path + name + QLatin1Char('/'), SearchStr, FileCount);
    }
}

bool FolderWalk::enterFolderOnce(const QString &path)
{
    struct stat info;
    if (stat(QFile::encodeName(path).constData(), &info) != 0)
        return true; // cannot be listed either; its passes find nothing
    const std::pair<quint64, quint64> identity(info.st_dev, info.st_ino);
    if (m_visitedFolders.contains(identity))
        return false;
    m_visitedFolders.insert(identity);
    return true;
}

QStringList FolderWalk::collectSubfolders(const QString &path)
{
    QStringList subfolders;
    const Listing listing = openListing(path);
    if (!listing)
        return subfolders;
    while (const dirent *entry = readdir(listing.get())) {
        m_view.yieldPoint();
        const QString name = entryName(entry);
        if (isDotEntry(name))
            continue;
        if (isFolder(path + name, entry->d_type))
            subfolders.append(name);
    }
    return subfolders;
}

// False when a cancel request ended the pass.
bool FolderWalk::convertMatchingEntries(const QString &path, const QString &SearchStr,
                                        qint64 &FileCount)
{
    const Listing listing = openListing(path);
    if (!listing)
        return true;
    while (const dirent *entry = readdir(listing.get())) {
        const QString name = entryName(entry);
        if (!MatchesPattern(name, SearchStr))
            continue;
        m_view.yieldPoint();
        if (isDotEntry(name))
            continue;
        convertEntry(path, name, FileCount);
        if (m_view.CancelRequested())
            return false;
    }
    return true;
}

void FolderWalk::convertEntry(const QString &path, const QString &name, qint64 &FileCount)
{
    ++FileCount;
    const QString outputName = OutputName(name, CurrentFormat);
    const QString outputPath = m_view.imageFolderText() + QLatin1Char('/') + outputName;
    m_view.appendResultRow(FileCount, outputName);
    m_view.selectAndRevealRow(FileCount);
    m_view.yieldPoint();

    const QString geometry = m_view.widthText() + QLatin1Char('x') + m_view.heightText();
    const ConversionResult result = m_converter.Convert(
        {QStringLiteral("-thumbnail"), geometry, QStringLiteral("-alpha"), QStringLiteral("Remove"),
         path + name + QStringLiteral("[0]"), outputPath});
    m_view.yieldPoint();
    m_view.markResultRow(FileCount, result.succeeded(), result.failureReason);
}
