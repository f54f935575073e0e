#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

#include <utility>

class Converter;
class WalkView;

// The name held in a fixed directory-entry field ends at its first NUL.
QByteArray StripNulls(QByteArray &OriginalStr);

// Walks a folder tree, depth first, converting every entry that matches the
// pattern. One object serves one run.
class FolderWalk
{
public:
    FolderWalk(WalkView &view, Converter &converter);

    void FindFilesAPI(QString path, const QString &SearchStr, qint64 &FileCount);

private:
    bool enterFolderOnce(const QString &path);
    QStringList collectSubfolders(const QString &path);
    bool convertMatchingEntries(const QString &path, const QString &SearchStr, qint64 &FileCount);
    void convertEntry(const QString &path, const QString &name, qint64 &FileCount);

    WalkView &m_view;
    Converter &m_converter;
    // Device and inode of every folder walked so far: a link cycle ends here.
    QSet<std::pair<quint64, quint64>> m_visitedFolders;
};
