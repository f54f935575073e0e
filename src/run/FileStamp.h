#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// What tells a file from any other and from itself before a change: a write
// moves the modification time, and anything else done to it (a rename over
// it, a hand-set modification time) moves the change time, which no user can
// set back.
struct FileStamp
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    // None for anything but a regular file. The paths' forms follow links,
    // as reading the PDF does.
    static std::optional<FileStamp> ofFile(const QString &path);
    static std::optional<FileStamp> ofDescriptor(int fd);
    // None, too, for a file changed so recently that a change within the
    // clock's granularity could leave its times as they are.
    static std::optional<FileStamp> ofSettledFile(const QString &path);

    bool operator==(const FileStamp &) const = default;
};
