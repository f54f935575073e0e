#pragma once

#include <QtGlobal>

#include <cerrno>
#include <unistd.h>

// Writes every byte, through interruptions and short writes. Returns 0, or
// the errno value of the write that failed (EIO where one wrote nothing).
inline int writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        data += written;
        size -= written;
    }
    return 0;
}
