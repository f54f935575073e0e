#include "cli/CommandLineRun.h"

#include "cli/CliArguments.h"
#include "cli/CliView.h"
#include "cli/InterruptPipe.h"
#include "cli/ProgressLine.h"
#include "pool/WorkerConverter.h"
#include "run/FolderWalk.h"
#include "run/RunController.h"

#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int badArguments = 2;

int fail(const QString &message, int status)
{
    std::fprintf(stderr, "leafmark: %s\n", message.toLocal8Bit().constData());
    return status;
}

QString quotedPath(const QString &path)
{
    return QLatin1Char('\'') + path + QLatin1Char('\'');
}

// What the window lets a run find out entry by entry, a script wants told
// once, before any work.
QString folderProblem(const CliRequest &request)
{
    if (!QFileInfo(request.pdfFolder).isDir())
        return QStringLiteral("--pdf-folder: %1 is not a folder")
            .arg(quotedPath(request.pdfFolder));
    if (!QFileInfo(request.imageFolder).isDir())
        return QStringLiteral("--image-folder: %1 is not a folder")
            .arg(quotedPath(request.imageFolder));
    if (::access(QFile::encodeName(request.imageFolder).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("--image-folder: %1 cannot be written to")
            .arg(quotedPath(request.imageFolder));
    return QString();
}

} // namespace

int runFromCommandLine(const QStringList &arguments)
{
    const CliArguments parsed(arguments);
    if (!parsed.error().isEmpty())
        return fail(parsed.error(), badArguments);
    const CliRequest &request = parsed.request();

    WorkerConverter converter(locateWorker(), request.jobs);
    ProgressLine progress;
    CliView view(request, progress);
    // The window's checks and messages; its stored inputs stay untouched.
    if (!RunController(view, converter).CheckInputs())
        return fail(view.optionAtFault() + QLatin1String(": ") + view.statusText(), badArguments);
    if (const QString problem = folderProblem(request); !problem.isEmpty())
        return fail(problem, badArguments);

    bool cancelRequested = false;
    int interrupt = 0;
    const InterruptPipe interrupts([&](int signal) {
        cancelRequested = true;
        interrupt = signal;
    });
    if (const QString error = converter.start(); !error.isEmpty())
        return fail(QStringLiteral("Leafmark cannot start its converter: %1").arg(error), 1);

    progress.start();
    qint64 fileCount = 0;
    FolderWalk(view, converter, cancelRequested, request.options)
        .FindFilesAPI(request.pdfFolder, QStringLiteral("*.pdf"), fileCount);
    if (interrupt != 0)
        return 128 + interrupt;
    return view.failedCount() > 0 ? 1 : 0;
}
