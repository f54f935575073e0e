#pragma once

#include "protocol/UniqueFd.h"

#include <QString>

// Files opened the way nothing can trick: no blocking on a named pipe or a
// device, the kind and size checked on the open descriptor itself.
namespace CheckedFile {

// Largest thumbnail or preview image taken: far beyond any thumbnail, far
// below what would strain the window's process.
constexpr qint64 maxImageSize = 256 * 1024 * 1024;

// The regular file at path, opened for reading; links are followed, as the
// user's own paths may hold them. Invalid with the reason in problem.
UniqueFd openRegular(const QString &path, qint64 maxSize, QString *problem);

// A copy, in memory of this process, of the regular file name in folder, which
// a worker may have made anything of. Links are not followed. The copy stays
// as it is whatever the worker does to the file afterwards. Invalid with the
// reason in problem.
UniqueFd copyOfWorkerFile(int folder, const char *name, qint64 maxSize, QString *problem);

} // namespace CheckedFile
