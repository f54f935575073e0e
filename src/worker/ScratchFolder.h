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

    // Makes the plain name lead to the file at target. Returns "" when it does,
    // or why the file cannot be read.
    QString linkToFile(const QString &target, const QString &name) const;

    // Empties the folder, leftovers of ImageMagick and Ghostscript included.
    void clear() const;

private:
    QString m_path;
};
