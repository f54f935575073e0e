#pragma once

#include "protocol/FileIdentity.h"

#include <QString>

// The worker's private folder. ImageMagick reads and writes only plain ASCII
// names in it, so nothing in a user's file names can be taken for an escape, a
// glob, a format prefix or an option.
class ScratchFolder
{
public:
    // A file the worker opened and checked, reachable under a plain name.
    class OpenedFile
    {
    public:
        OpenedFile() = default;
        OpenedFile(int fd, FileIdentity identity);
        ~OpenedFile();
        OpenedFile(OpenedFile &&other) noexcept;
        OpenedFile &operator=(OpenedFile &&other) noexcept;

        bool isOpen() const { return m_fd >= 0; }
        FileIdentity identity() const { return m_identity; }

    private:
        int m_fd = -1;
        FileIdentity m_identity;
    };

    explicit ScratchFolder(QString path);

    QString filePath(const QString &name) const;

    // Opens target once, checks that it is a regular file, and makes the
    // plain name lead to that very open file: whatever later happens to
    // target's name, ImageMagick and Ghostscript read what was checked. The
    // reason it cannot be read goes to reason.
    OpenedFile openAs(const QString &target, const QString &name, QString *reason) const;

    // Empties the folder, leftovers of ImageMagick and Ghostscript included,
    // all but the file named kept.
    void clear(const QString &kept = QString()) const;

private:
    QString m_path;
};
