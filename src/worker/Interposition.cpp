// Replaced for the whole worker program, and only here:
//
// - execvp (libc). ImageMagick starts gs through it, in a child it has just
//   forked. When a WarmGhostscript is armed and the command is exactly the
//   one ImageMagick derives from its own delegate table for page 1 of a PDF in
//   the worker's folder, the renderer takes it: the child renders with the
//   interpreter started beforehand and ends there, with gs's exit status. Any
//   other call, and every call while none is armed, goes on to libc's execvp
//   unchanged. A command that starts gs is counted either way, for the
//   conversion under way, on that conversion's own pipe.
// - png_write_info (libpng). Only in a child the renderer took: the page file
//   ImageMagick reads back at once is deflated at the fastest level with rows
//   unfiltered, the same pixels for a fraction of the cost. Then, and in every
//   other process always, libpng's own function does the work.
//
// Both are exported from the program by leafmark_worker's link options
// (src/worker/CMakeLists.txt), so that libMagickCore, libgs and coder modules
// loaded later all call these; the real ones are found with dlsym(RTLD_NEXT)
// before any fork.

#include "worker/Interposition.h"

#include "worker/WarmGhostscript.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

using ExecvpFunction = int (*)(const char *, char *const[]);
using PngWriteInfoFunction = void (*)(void *, void *);
using PngSetCompressionLevelFunction = void (*)(void *, int);
using PngSetFilterFunction = void (*)(void *, int, int);

// Looked up before any fork: a child of a threaded process should do little
// more than render.
const auto realExecvp = reinterpret_cast<ExecvpFunction>(::dlsym(RTLD_NEXT, "execvp"));
const auto realPngWriteInfo =
    reinterpret_cast<PngWriteInfoFunction>(::dlsym(RTLD_NEXT, "png_write_info"));
const auto pngSetCompressionLevel = reinterpret_cast<PngSetCompressionLevelFunction>(
    ::dlsym(RTLD_DEFAULT, "png_set_compression_level"));
const auto pngSetFilter =
    reinterpret_cast<PngSetFilterFunction>(::dlsym(RTLD_DEFAULT, "png_set_filter"));

// libpng's values for the base filter method and for rows left unfiltered.
constexpr int pngFilterTypeBase = 0;
constexpr int pngFilterNone = 0x08;
constexpr int fastestDeflate = 1;

// What a child writes on its conversion's pipe.
constexpr char takenWarm = 'w';
constexpr char handedToGs = 'g';
// A conversion starts one gs; anything past this is not read.
constexpr int mostCounted = 64;

const WarmGhostscript *armed = nullptr;
bool fastHandOver = false;
int countFd = -1;

// A byte that cannot be written leaves its command uncounted: a reply may
// show fewer commands than ran, never more.
void count(char command)
{
    while (countFd >= 0 && ::write(countFd, &command, 1) < 0 && errno == EINTR) {
    }
}

bool startsGs(const char *file)
{
    if (file == nullptr)
        return false;
    const char *slash = std::strrchr(file, '/');
    return std::strcmp(slash != nullptr ? slash + 1 : file, "gs") == 0;
}

} // namespace

namespace Interposition {

bool forwards()
{
    return realExecvp != nullptr;
}

bool arm(const WarmGhostscript *renderer)
{
    if (armed != nullptr)
        return false;
    armed = renderer;
    return true;
}

void disarm(const WarmGhostscript *renderer)
{
    if (armed == renderer)
        armed = nullptr;
}

void takeOver()
{
    count(takenWarm);
    fastHandOver =
        realPngWriteInfo != nullptr && pngSetCompressionLevel != nullptr && pngSetFilter != nullptr;
}

// Non-blocking at both ends: no child can stall on it, nor can the reading.
CommandCount::CommandCount()
{
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_read = fds[0];
    m_write = fds[1];
    countFd = m_write;
}

CommandCount::~CommandCount()
{
    if (countFd == m_write)
        countFd = -1;
    for (const int fd : {m_read, m_write}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void CommandCount::addTo(WorkerProtocol::Reply &reply)
{
    if (m_read < 0)
        return;
    countFd = -1;
    ::close(m_write);
    m_write = -1;
    char written[mostCounted];
    const ssize_t got = ::read(m_read, written, sizeof written);
    for (ssize_t i = 0; i < got; ++i) {
        reply.renderedWarm += written[i] == takenWarm ? 1 : 0;
        reply.handedToGs += written[i] == handedToGs ? 1 : 0;
    }
}

} // namespace Interposition

extern "C" {

int execvp(const char *file, char *const argv[])
{
    if (armed != nullptr)
        armed->renderIfExpected(file, argv);
    if (startsGs(file))
        count(handedToGs);
    return realExecvp(file, argv);
}

void png_write_info(void *png, void *info)
{
    if (fastHandOver) {
        pngSetCompressionLevel(png, fastestDeflate);
        pngSetFilter(png, pngFilterTypeBase, pngFilterNone);
    }
    // libpng may come in after this program started, with a coder module.
    static const auto forward =
        realPngWriteInfo != nullptr
            ? realPngWriteInfo
            : reinterpret_cast<PngWriteInfoFunction>(::dlsym(RTLD_NEXT, "png_write_info"));
    forward(png, info);
}
}
