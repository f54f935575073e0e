#include "Worker.h"
#include "WorkerChannel.h"

#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Ghostscript inherits the limit, so a document that makes it grab memory
// without end fails instead of taking the machine down.
constexpr rlim_t addressSpaceLimit = rlim_t(3) << 30;

struct ProtocolFds
{
    int requests = -1;
    int replies = -1;
};

// The protocol moves to descriptors of its own that Ghostscript does not
// inherit; whatever ImageMagick or Ghostscript print to standard output lands
// on standard error instead.
ProtocolFds takeOverStandardStreams()
{
    ProtocolFds fds;
    fds.requests = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    fds.replies = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fds.requests < 0 || fds.replies < 0 || nothing < 0 || ::dup2(nothing, STDIN_FILENO) < 0 ||
        ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return {};
    ::close(nothing);
    return fds;
}

void limitAddressSpace()
{
    // AddressSanitizer reserves far more address space than any limit allows.
#if !defined(__SANITIZE_ADDRESS__)
    struct rlimit limit;
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur <= addressSpaceLimit)
        return;
    limit.rlim_cur = addressSpaceLimit;
    ::setrlimit(RLIMIT_AS, &limit);
#endif
}

} // namespace

// Usage: leafmark-worker <private folder>. Requests arrive on standard input,
// replies leave on standard output.
int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: leafmark-worker <private folder>\n");
        return 2;
    }
    const ProtocolFds fds = takeOverStandardStreams();
    if (fds.requests < 0) {
        std::perror("leafmark-worker: cannot set up its channel");
        return 1;
    }
    limitAddressSpace();
    // ImageMagick's and Ghostscript's temporary files go where each request
    // clears them up, and where the window's process removes them should the
    // worker be killed.
    ::setenv("MAGICK_TEMPORARY_PATH", argv[1], 1);
    ::setenv("TMPDIR", argv[1], 1);

    Worker worker(QFile::decodeName(argv[1]), qgetenv("LEAFMARK_WORKER_FAULT"));
    WorkerChannel channel(fds.requests, fds.replies);
    while (const std::optional<WorkerProtocol::Request> request = channel.receive()) {
        if (!channel.send(worker.answer(*request)))
            break;
    }
    return 0;
}
