#include "FolderSnapshot.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace {

QByteArray digestOf(const QByteArray &path)
{
    struct stat status;
    if (::lstat(path.constData(), &status) != 0)
        return QByteArrayLiteral("<gone>");
    if (S_ISDIR(status.st_mode))
        return QByteArrayLiteral("<folder>");
    if (S_ISLNK(status.st_mode))
        return QByteArrayLiteral("<link>");
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<unreadable>");
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result().toHex();
}

} // namespace

// Read as bytes, so that names Qt cannot decode are told apart as well.
FolderSnapshot snapshotOf(const QString &folder)
{
    FolderSnapshot snapshot;
    const QByteArray path = QFile::encodeName(folder);
    const std::unique_ptr<DIR, int (*)(DIR *)> listing(::opendir(path.constData()), ::closedir);
    if (!listing)
        return snapshot;
    while (const dirent *entry = ::readdir(listing.get())) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            snapshot.insert(name, digestOf(path + '/' + name));
    }
    return snapshot;
}

QList<QByteArray> changedEntries(const FolderSnapshot &before, const FolderSnapshot &after)
{
    QSet<QByteArray> names;
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        names.insert(it.key());
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        names.insert(it.key());
    QList<QByteArray> changed;
    for (const QByteArray &name : std::as_const(names)) {
        if (before.value(name) != after.value(name))
            changed.append(name);
    }
    std::sort(changed.begin(), changed.end());
    return changed;
}
