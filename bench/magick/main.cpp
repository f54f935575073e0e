// The bare sequential loop: the product's own conversion code, one PDF after
// the other in one process, with no window, no pipe and no pool. Each PDF
// goes through the worker's answer to a convert request (its scratch folder,
// ThumbnailConversion and its ImageMagick start-up and policy), then through
// the placement the window's process does with a finished thumbnail.
#include "pool/CheckedFile.h"
#include "pool/FilePlacement.h"
#include "run/ThumbnailJob.h"
#include "worker/Worker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <fcntl.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

namespace {

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The walk's job for a PNG thumbnail; a width alone stands for the geometry
// "<width>x".
ConversionJob pngJob(const QString &pdf, const QString &thumbs, const QString &size)
{
    const QString thumb =
        thumbs + QLatin1Char('/') + QFileInfo(pdf).fileName().chopped(3) + QStringLiteral("png");
    return thumbnailJob(pdf, thumb,
                        size.contains(QLatin1Char('x')) ? size : size + QLatin1Char('x'));
}

// What the window's process does with a request and its reply: open the PDF
// for the worker, copy the thumbnail out of the worker's folder, check its
// signature and put it in place. "" when it is there.
class BareLoop
{
public:
    BareLoop(const QString &scratch, Worker::Rendering rendering)
        : m_worker(scratch, rendering),
          m_scratch(::open(QFile::encodeName(scratch).constData(), O_PATH | O_DIRECTORY))
    {
    }

    QString convert(const ConversionJob &job)
    {
        WorkerProtocol::Request request;
        request.type = WorkerProtocol::RequestType::Convert;
        request.job = job;
        QString problem;
        request.file =
            CheckedFile::openRegular(job.input, std::numeric_limits<qint64>::max(), &problem);
        if (!request.file.isValid())
            return problem;
        const WorkerProtocol::Reply reply = m_worker.answer(request);
        if (!reply.failure.isEmpty() || reply.text.isEmpty())
            return reply.failure.isEmpty() ? QStringLiteral("no description") : reply.failure;
        const UniqueFd held = CheckedFile::copyOfWorkerFile(
            m_scratch.get(), WorkerProtocol::resultName(0).constData(), CheckedFile::maxImageSize,
            &problem);
        if (!held.isValid())
            return problem;
        return placeThumbnail(job, held.get());
    }

private:
    Worker m_worker;
    UniqueFd m_scratch;
};

// This process and the Ghostscript processes it has waited for.
double cpuSeconds()
{
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char *argv[])
{
    // Today's path unless told "warm": Ghostscript kept started.
    if (argc != 6 && !(argc == 7 && std::strcmp(argv[6], "warm") == 0)) {
        std::fprintf(stderr, "usage: leafmark-bench-magick PDF_LIST WARMUP_LIST THUMB_DIR "
                             "OUT_PREFIX WIDTH|GEOMETRY [warm]\n");
        return 2;
    }
    const Worker::Rendering rendering =
        argc == 7 ? Worker::Rendering::Warm : Worker::Rendering::Cold;
    const QStringList pdfs = readLines(QFile::decodeName(argv[1]));
    const QStringList warmup = readLines(QFile::decodeName(argv[2]));
    const QString thumbs = QFile::decodeName(argv[3]);
    const QString prefix = QFile::decodeName(argv[4]);
    const QString width = QString::fromLocal8Bit(argv[5]);
    QFile times(prefix + QStringLiteral(".files.tsv"));
    QFile summary(prefix + QStringLiteral(".summary"));
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/leafmark-bench-XXXXXX"));
    if (pdfs.isEmpty() || !scratch.isValid() ||
        !times.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        !summary.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "leafmark-bench-magick: no PDF list, or cannot write the results\n");
        return 1;
    }
    // As the worker's own start-up sets them: ImageMagick's and Ghostscript's
    // temporary files go to the scratch folder.
    ::setenv("MAGICK_TEMPORARY_PATH", QFile::encodeName(scratch.path()).constData(), 1);
    ::setenv("TMPDIR", QFile::encodeName(scratch.path()).constData(), 1);

    BareLoop loop(scratch.path(), rendering);
    for (const QString &pdf : warmup)
        loop.convert(pngJob(pdf, thumbs, width));

    const double cpuBefore = cpuSeconds();
    QTextStream out(&times);
    out << "order\tseconds\tfinished\tok\tpath\n";
    const auto loopStart = std::chrono::steady_clock::now();
    for (qsizetype i = 0; i < pdfs.size(); ++i) {
        const auto start = std::chrono::steady_clock::now();
        const QString problem = loop.convert(pngJob(pdfs[i], thumbs, width));
        const double took = secondsSince(start);
        out << i + 1 << '\t' << took << '\t' << secondsSince(loopStart) << '\t'
            << (problem.isEmpty() ? 1 : 0) << '\t' << pdfs[i] << '\n';
        if (!problem.isEmpty())
            std::fprintf(stderr, "%s: %s\n", qPrintable(pdfs[i]), qPrintable(problem));
    }
    const double total = secondsSince(loopStart);
    QTextStream(&summary) << "files\t" << pdfs.size() << "\nseconds_total\t" << total
                          << "\ncpu_seconds\t" << cpuSeconds() - cpuBefore << '\n';
    return 0;
}
