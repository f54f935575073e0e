// The fortified headers define open() inline; this file defines it.
#undef _FORTIFY_SOURCE
#include "hooks/RefusalRecorder.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

// The worker's own code, ImageMagick, Ghostscript and their libraries reach
// these through the program's dynamic symbols, so they are replaced by ones
// that pass the call on and note what was refused.

namespace {

int recordDescriptor = -1;

template <typename Function> Function next(const char *name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

std::string folderOf(int dirfd)
{
    char path[PATH_MAX];
    ssize_t length = -1;
    if (dirfd == AT_FDCWD) {
        length = ::getcwd(path, sizeof path) != nullptr ? ssize_t(std::strlen(path)) : -1;
    } else {
        const std::string link = "/proc/self/fd/" + std::to_string(dirfd);
        length = ::readlink(link.c_str(), path, sizeof path);
    }
    return length > 0 ? std::string(path, size_t(length)) : std::string("?");
}

// One write a line: the processes that share the record append whole lines.
void noteIfRefused(bool failed, int dirfd, const char *path)
{
    if (!failed || errno != EACCES || recordDescriptor < 0 || path == nullptr)
        return;
    const int error = errno;
    std::string line = path[0] == '/' ? std::string(path) : folderOf(dirfd) + '/' + path;
    line += '\n';
    [[maybe_unused]] const ssize_t written = ::write(recordDescriptor, line.data(), line.size());
    errno = error;
}

mode_t modeArgument(int flags, va_list arguments)
{
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? mode_t(va_arg(arguments, unsigned int)) : 0;
}

[[gnu::constructor]] void openRecord()
{
    if (const char *file = std::getenv("LEAFMARK_WORKER_REFUSALS"); file != nullptr && *file)
        // Not closed on exec: the renderer keeps what an exec would keep, and
        // its refusals are the ones that matter most.
        recordDescriptor = ::open(file, O_WRONLY | O_CREAT | O_APPEND, 0600);
}

} // namespace

int refusalRecordDescriptor()
{
    return recordDescriptor;
}

using OpenFunction = int (*)(const char *, int, ...);
using OpenAtFunction = int (*)(int, const char *, int, ...);
using CheckedOpenFunction = int (*)(const char *, int);
using CheckedOpenAtFunction = int (*)(int, const char *, int);
using FopenFunction = FILE *(*)(const char *, const char *);
using OpendirFunction = DIR *(*)(const char *);

#define LEAFMARK_RECORD_OPEN(name)                                                                 \
    extern "C" int name(const char *path, int flags, ...)                                          \
    {                                                                                              \
        va_list arguments;                                                                         \
        va_start(arguments, flags);                                                                \
        const mode_t mode = modeArgument(flags, arguments);                                        \
        va_end(arguments);                                                                         \
        static const auto real = next<OpenFunction>(#name);                                        \
        const int fd = real(path, flags, mode);                                                    \
        noteIfRefused(fd < 0, AT_FDCWD, path);                                                     \
        return fd;                                                                                 \
    }
#define LEAFMARK_RECORD_OPENAT(name)                                                               \
    extern "C" int name(int dirfd, const char *path, int flags, ...)                               \
    {                                                                                              \
        va_list arguments;                                                                         \
        va_start(arguments, flags);                                                                \
        const mode_t mode = modeArgument(flags, arguments);                                        \
        va_end(arguments);                                                                         \
        static const auto real = next<OpenAtFunction>(#name);                                      \
        const int fd = real(dirfd, path, flags, mode);                                             \
        noteIfRefused(fd < 0, dirfd, path);                                                        \
        return fd;                                                                                 \
    }
#define LEAFMARK_RECORD_CHECKED_OPEN(name)                                                         \
    extern "C" int name(const char *path, int flags)                                               \
    {                                                                                              \
        static const auto real = next<CheckedOpenFunction>(#name);                                 \
        const int fd = real(path, flags);                                                          \
        noteIfRefused(fd < 0, AT_FDCWD, path);                                                     \
        return fd;                                                                                 \
    }
#define LEAFMARK_RECORD_CHECKED_OPENAT(name)                                                       \
    extern "C" int name(int dirfd, const char *path, int flags)                                    \
    {                                                                                              \
        static const auto real = next<CheckedOpenAtFunction>(#name);                               \
        const int fd = real(dirfd, path, flags);                                                   \
        noteIfRefused(fd < 0, dirfd, path);                                                        \
        return fd;                                                                                 \
    }
#define LEAFMARK_RECORD_FOPEN(name)                                                                \
    extern "C" FILE *name(const char *path, const char *mode)                                      \
    {                                                                                              \
        static const auto real = next<FopenFunction>(#name);                                       \
        FILE *file = real(path, mode);                                                             \
        noteIfRefused(file == nullptr, AT_FDCWD, path);                                            \
        return file;                                                                               \
    }

LEAFMARK_RECORD_OPEN(open)
LEAFMARK_RECORD_OPEN(open64)
LEAFMARK_RECORD_OPENAT(openat)
LEAFMARK_RECORD_OPENAT(openat64)
LEAFMARK_RECORD_CHECKED_OPEN(__open_2)
LEAFMARK_RECORD_CHECKED_OPEN(__open64_2)
LEAFMARK_RECORD_CHECKED_OPENAT(__openat_2)
LEAFMARK_RECORD_CHECKED_OPENAT(__openat64_2)
LEAFMARK_RECORD_FOPEN(fopen)
LEAFMARK_RECORD_FOPEN(fopen64)

extern "C" DIR *opendir(const char *path)
{
    static const auto real = next<OpendirFunction>("opendir");
    DIR *folder = real(path);
    noteIfRefused(folder == nullptr, AT_FDCWD, path);
    return folder;
}
