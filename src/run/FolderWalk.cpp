#include "FolderWalk.h"

#include "Converter.h"
#include "NameLookup.h"
#include "OutputPath.h"
#include "WalkView.h"
#include "settings/FormatTable.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>

namespace {

struct DirCloser
{
    void operator()(DIR *dir) const { closedir(dir); }
};
using Listing = std::unique_ptr<DIR, DirCloser>;

Listing openListing(const QByteArray &nativePath)
{
    return Listing(opendir(nativePath.constData()));
}

// The C library packs each entry only as long as its name: the field may not
// be read to its declared size.
QByteArray entryName(const dirent *entry)
{
    QByteArray field(entry->d_name, qsizetype(std::strlen(entry->d_name)));
    return StripNulls(field);
}

bool isDotEntry(const QByteArray &name)
{
    return name == "." || name == "..";
}

// A link counts as what it points to, so a link to a folder is walked like one.
bool isFolder(const QByteArray &nativePath, unsigned char type)
{
    if (type == DT_DIR)
        return true;
    if (type != DT_LNK && type != DT_UNKNOWN)
        return false;
    struct stat info;
    return stat(nativePath.constData(), &info) == 0 && S_ISDIR(info.st_mode);
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
    walkFolder({QFile::encodeName(path), path}, SearchStr, FileCount);
}

// Listing and descent go by the names' bytes, so that a folder whose name is
// not valid UTF-8 is walked all the same.
void FolderWalk::walkFolder(const Folder &folder, const QString &SearchStr, qint64 &FileCount)
{
    if (!enterFolderOnce(folder.native))
        return;

    const QList<QByteArray> subfolders = collectSubfolders(folder.native);
    if (!convertMatchingEntries(folder, SearchStr, FileCount))
        return;

    for (const QByteArray &name : subfolders) {
        if (m_view.CancelRequested())
            return;
        walkFolder({folder.native + name + '/', folder.path + QFile::decodeName(name) + '/'},
                   SearchStr, FileCount);
    }
}

bool FolderWalk::enterFolderOnce(const QByteArray &nativePath)
{
    struct stat info;
    if (stat(nativePath.constData(), &info) != 0)
        return true; // cannot be listed either; its passes find nothing
    const std::pair<quint64, quint64> identity(info.st_dev, info.st_ino);
    if (m_visitedFolders.contains(identity))
        return false;
    m_visitedFolders.insert(identity);
    return true;
}

QList<QByteArray> FolderWalk::collectSubfolders(const QByteArray &nativePath)
{
    QList<QByteArray> subfolders;
    const Listing listing = openListing(nativePath);
    if (!listing)
        return subfolders;
    while (const dirent *entry = readdir(listing.get())) {
        m_view.yieldPoint();
        const QByteArray name = entryName(entry);
        if (isDotEntry(name))
            continue;
        if (isFolder(nativePath + name, entry->d_type))
            subfolders.append(name);
    }
    return subfolders;
}

// False when a cancel request ended the pass.
bool FolderWalk::convertMatchingEntries(const Folder &folder, const QString &SearchStr,
                                        qint64 &FileCount)
{
    const Listing listing = openListing(folder.native);
    if (!listing)
        return true;
    while (const dirent *entry = readdir(listing.get())) {
        const QByteArray name = entryName(entry);
        if (!MatchesPattern(QFile::decodeName(name), SearchStr))
            continue;
        m_view.yieldPoint();
        if (isDotEntry(name))
            continue;
        convertEntry(folder, name, FileCount);
        if (m_view.CancelRequested())
            return false;
    }
    return true;
}

void FolderWalk::convertEntry(const Folder &folder, const QByteArray &nativeName,
                              qint64 &FileCount)
{
    ++FileCount;
    const QString name = QFile::decodeName(nativeName);
    const QString outputName = OutputName(name, CurrentFormat);
    const QString outputPath = OutputPath(m_view.imageFolderText(), outputName);
    m_view.appendResultRow(FileCount, outputName);
    m_view.selectAndRevealRow(FileCount);
    m_view.yieldPoint();

    const QString inputPath = folder.path + name;
    ConversionResult result;
    // Paths travel on as text; one that does not survive the trip would name
    // another file, or none.
    if (QFile::encodeName(inputPath) != folder.native + nativeName) {
        result.failureReason = QStringLiteral(
            "its name, or a folder's above it, is not valid UTF-8 text: rename it to convert it");
    } else if (!IsPlainFileName(outputName)) {
        result.failureReason = QStringLiteral(
            "the image format makes the thumbnail's name a path, not a file name: "
            "choose another format under Settings");
    } else {
        const QString geometry = m_view.widthText() + QLatin1Char('x') + m_view.heightText();
        result = m_converter.Convert({QStringLiteral("-thumbnail"), geometry,
                                      QStringLiteral("-alpha"), QStringLiteral("Remove"),
                                      inputPath + QStringLiteral("[0]"), outputPath});
    }
    m_view.yieldPoint();
    m_view.markResultRow(FileCount, result.succeeded(), result.failureReason);
}
