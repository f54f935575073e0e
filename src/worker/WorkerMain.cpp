#include "worker/WorkerMain.h"

#include "protocol/UniqueFd.h"
#include "protocol/WorkerProtocol.h"
#include "worker/Confinement.h"
#include "worker/MagickHandles.h"
#include "worker/RenderReadSet.h"
#include "worker/RequestChild.h"
#include "worker/WorkerChannel.h"

#include <QFile>
#include <QStandardPaths>

#include <wand/MagickWand.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
    const UniqueFd nothing(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (fds.requests < 0 || fds.replies < 0 || !nothing.isValid() ||
        ::dup2(nothing.get(), STDIN_FILENO) < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return {};
    return fds;
}

// The hard limit too when confined, so that nothing in the worker can lift it.
void limitAddressSpace([[maybe_unused]] bool hardToo)
{
    // AddressSanitizer reserves far more address space than any limit allows.
#if !defined(__SANITIZE_ADDRESS__)
    struct rlimit limit;
    if (::getrlimit(RLIMIT_AS, &limit) != 0)
        return;
    limit.rlim_cur = std::min(limit.rlim_cur, addressSpaceLimit);
    if (hardToo)
        limit.rlim_max = std::min(limit.rlim_max, addressSpaceLimit);
    ::setrlimit(RLIMIT_AS, &limit);
#endif
}

// The window's process asks for this when it dies. Without a PID namespace of
// our own, Ghostscript would live on unless the whole group goes.
void endWholeGroup(int)
{
    RequestChild::endCurrent();
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

// What ImageMagick loads lazily on a first conversion of a PDF into a PNG,
// loaded once before any child is forked: each child would load it again, at
// a cost near a tenth of a small page's conversion. Nothing here starts a
// thread.
void loadWhatConversionsLoad()
{
    const MagickHandles::ExceptionHandle exception = MagickHandles::newException();
    for (const char *coder : {"PDF", "PNG"})
        GetMagickInfo(coder, exception.get());
    GetDelegateInfo("ps:alpha", nullptr, exception.get());
    static const unsigned char pngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    GetMagicInfo(pngSignature, sizeof pngSignature, exception.get());
}

// The tests' worker may change a result once it is made, as a document that
// took over the worker could.
RequestChild::Answer answerThrough(Worker &worker, const WorkerHooks &hooks,
                                   const QString &workingPath)
{
    if (!hooks.afterAnswer)
        return [&worker](const WorkerProtocol::Request &request) { return worker.answer(request); };
    return [&worker, &hooks, workingPath](const WorkerProtocol::Request &request) {
        const WorkerProtocol::Reply reply = worker.answer(request);
        hooks.afterAnswer(request,
                          workingPath + QLatin1Char('/') +
                              QString::fromLatin1(WorkerProtocol::resultName(request.resultSlot)));
        return reply;
    };
}

// Where no later request's processes reach it. A request that made none
// leaves none behind from before it.
void handOverThumbnail(const QString &scratchRoot, const WorkerProtocol::Request &request)
{
    if (request.type != WorkerProtocol::RequestType::Convert)
        return;
    const QByteArray name = WorkerProtocol::resultName(request.resultSlot);
    const QByteArray root = QFile::encodeName(scratchRoot);
    const QByteArray finished = root + '/' + WorkerProtocol::finishedFolderName + '/' + name;
    const QByteArray working = root + '/' + WorkerProtocol::workingFolderName + '/' + name;
    if (::rename(working.constData(), finished.constData()) != 0)
        ::unlink(finished.constData());
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

int runWorker(int argc, char *argv[], const WorkerHooks &hooks)
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
    if (!RequestChild::adoptOrphans()) {
        std::perror("leafmark-worker: cannot adopt what its requests leave");
        return 1;
    }
    const bool confined = hooks.confined;
    limitAddressSpace(confined);
    const QString scratchRoot = QFile::decodeName(argv[1]);
    const QString workingPath =
        scratchRoot + QLatin1Char('/') + QLatin1String(WorkerProtocol::workingFolderName);
    // The window's process made both; started by hand, the worker makes them.
    for (const char *folder :
         {WorkerProtocol::workingFolderName, WorkerProtocol::finishedFolderName})
        ::mkdir(QFile::encodeName(scratchRoot + QLatin1Char('/') + QLatin1String(folder)), 0700);
    // ImageMagick's and Ghostscript's temporary files go where each request
    // clears them up, and where the window's process removes them should the
    // worker be killed.
    ::setenv("MAGICK_TEMPORARY_PATH", QFile::encodeName(workingPath).constData(), 1);
    ::setenv("TMPDIR", QFile::encodeName(workingPath).constData(), 1);

    const QStringList programs = delegatePrograms();
    // Before ImageMagick starts its threads, and before any document is read.
    std::optional<Confinement> confinement;
    if (confined)
        confinement = Confinement::apply(scratchRoot, programs);

    Worker worker(workingPath, hooks.rendering);
    if (hooks.attach)
        hooks.attach(worker, workingPath);
    // Start-up has read its configuration; from here on this process reads
    // no more than each request's child.
    if (confinement) {
        loadWhatConversionsLoad();
        // Derived once, here, before reading narrows; every request's child
        // inherits it.
        RenderReadSet::paths();
        confinement->narrowReading(scratchRoot, programs);
        std::fprintf(stderr, "%s\n", qPrintable(confinement->report()));
    }
    const RequestChild::Answer answer = answerThrough(worker, hooks, workingPath);
    WorkerChannel channel(fds.requests, fds.replies);
    while (const std::optional<WorkerProtocol::Request> request = channel.receive()) {
        const auto handOver = [&] { handOverThumbnail(scratchRoot, *request); };
        bool answered = false;
        if (confined && hooks.answerInChild &&
            request->type != WorkerProtocol::RequestType::Hello) {
            answered =
                RequestChild::answer(answer, channel, *request, scratchRoot, programs, handOver);
        } else {
            const WorkerProtocol::Reply reply = answer(*request);
            handOver();
            answered = channel.send(reply);
        }
        if (!answered)
            break;
    }
    return 0;
}
