#pragma once

#include <QString>

// The worker's private folder. ImageMagick reads and writes only plain ASCII
// names in it, so nothing in a user's file names can be taken for an escape, a
// glob, a format prefix or an option.
class ScratchFolder
{
public:
    explicit ScratchFolder(QString path);

    QString filePath(const QString &name) const;

    // Copies the regular file open at fd in under the plain name, since the
    // worker may open nothing of the user's itself. Returns "" or why not.
    QString copyIn(int fd, const QString &name) const;

    // Empties the folder, leftovers of ImageMagick and Ghostscript included,
    // all but the file named kept.
    void clear(const QString &kept = QString()) const;

private:
    QString m_path;
};
