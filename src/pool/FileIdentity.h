#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Tells whether a file is still the one that was read: the same file system
// object, not written to since.
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    static std::optional<FileIdentity> ofDescriptor(int fd);
    // Follows links, as reading the file does.
    static std::optional<FileIdentity> ofPath(const QString &path);

    bool operator==(const FileIdentity &) const = default;
};
