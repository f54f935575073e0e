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
    // A folder by its bytes, for the file system, and as text, for the converter.
    struct Folder
    {
        QByteArray native;
        QString path;
    };

    void walkFolder(const Folder &folder, const QString &SearchStr, qint64 &FileCount);
    bool enterFolderOnce(const QByteArray &nativePath);
    QList<QByteArray> collectSubfolders(const QByteArray &nativePath);
    bool convertMatchingEntries(const Folder &folder, const QString &SearchStr, qint64 &FileCount);
    void convertEntry(const Folder &folder, const QByteArray &nativeName, qint64 &FileCount);

    WalkView &m_view;
    Converter &m_converter;
    // Device and inode of every folder walked so far: a link cycle ends here.
    QSet<std::pair<quint64, quint64>> m_visitedFolders;
};
