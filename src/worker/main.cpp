#include "Confinement.h"
#include "Worker.h"
#include "WorkerChannel.h"

#ifdef LEAFMARK_ESCAPE_PROBE
#include "EscapeProbe.h"
#endif

#include <QFile>
#include <QStandardPaths>

#include <csignal>
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

// The window's process asks for this when it dies. Without a PID namespace of
// our own, Ghostscript would live on unless the whole group goes.
void endWholeGroup(int)
{
    ::kill(0, SIGKILL);
}

QStringList delegatePrograms()
{
    QStringList programs;
    for (const QString &name : {QStringLiteral("gs"), QStringLiteral("potrace")}) {
        if (const QString path = QStandardPaths::findExecutable(name); !path.isEmpty())
            programs << path;
    }
    return programs;
}

bool confinementWanted()
{
#ifdef LEAFMARK_ESCAPE_PROBE
    // For measuring what the confinement costs; no such switch in the
    // installed worker.
    return qgetenv("LEAFMARK_WORKER_CONFINEMENT") != "off";
#else
    return true;
#endif
}

Worker::Rendering rendering()
{
#ifdef LEAFMARK_COLD_RENDERER
    // The benchmark's worker of today's path: a new gs for every page.
    return Worker::Rendering::Cold;
#else
    return Worker::Rendering::Warm;
#endif
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// The leak checker stops the process's threads through ptrace, which the
// worker's system-call filter refuses; memory errors are still caught.
extern "C" const char *__asan_default_options()
{
    return "detect_leaks=0";
}
#endif

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
    std::signal(SIGTERM, endWholeGroup);
    limitAddressSpace();
    // ImageMagick's and Ghostscript's temporary files go where each request
    // clears them up, and where the window's process removes them should the
    // worker be killed.
    ::setenv("MAGICK_TEMPORARY_PATH", argv[1], 1);
    ::setenv("TMPDIR", argv[1], 1);

    const QString scratchPath = QFile::decodeName(argv[1]);
    // Before ImageMagick starts its threads, and before any document is read.
    if (confinementWanted()) {
        const Confinement confinement = Confinement::apply(scratchPath, delegatePrograms());
        std::fprintf(stderr, "%s\n", qPrintable(confinement.report()));
    }

    Worker worker(scratchPath, qgetenv("LEAFMARK_WORKER_FAULT"), rendering());
#ifdef LEAFMARK_ESCAPE_PROBE
    worker.setConversionProbe(EscapeProbe(qgetenv("LEAFMARK_WORKER_ESCAPE")));
#endif
    WorkerChannel channel(fds.requests, fds.replies);
    while (const std::optional<WorkerProtocol::Request> request = channel.receive()) {
        if (!channel.send(worker.answer(*request)))
            break;
    }
    return 0;
}
