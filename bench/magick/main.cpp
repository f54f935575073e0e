// The bare sequential loop: the product's own conversion code, one PDF after
// the other in one process, with no window, no pipe and no pool. Each PDF
// goes through the worker's answer to a convert request (its scratch folder,
// ThumbnailConversion and its ImageMagick start-up and policy), then through
// the placement the window's process does with a finished thumbnail.
#include "worker/Worker.h"
#include "pool/FilePlacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The job the walk hands the converter.
ConversionJob thumbnailJob(const QString &pdf, const QString &thumbs, const QString &width)
{
    const QString thumb =
        thumbs + QLatin1Char('/') + QFileInfo(pdf).fileName().chopped(3) + QStringLiteral("png");
    return {.input = pdf,
            .geometry = width + QLatin1Char('x'),
            .output = thumb,
            .format = QStringLiteral("PNG")};
}

// What the window's process does with a reply: take the thumbnail out of the
// worker's folder, check its signature and put it in place. "" when it is there.
QString place(const WorkerProtocol::Reply &reply, const ConversionJob &job, const QString &held)
{
    if (!reply.failure.isEmpty() || reply.text.isEmpty())
        return reply.failure.isEmpty() ? QStringLiteral("no description") : reply.failure;
    if (::rename(QFile::encodeName(reply.resultFile).constData(),
                 QFile::encodeName(held).constData()) != 0)
        return QStringLiteral("could not take the thumbnail");
    const QString problem = placeThumbnail(job, held);
    QFile::remove(held);
    return problem;
}

class BareLoop
{
public:
    BareLoop(const QString &scratch, const QString &held) : m_worker(scratch, {}), m_held(held) {}

    QString convert(const ConversionJob &job)
    {
        WorkerProtocol::Request request;
        request.type = WorkerProtocol::RequestType::Convert;
        request.job = job;
        const QString held = m_held + QStringLiteral("/held.") + job.outputExtension();
        return place(m_worker.answer(request), job, held);
    }

private:
    Worker m_worker;
    QString m_held;
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
    if (argc != 6) {
        std::fprintf(stderr, "usage: leafmark-bench-magick PDF_LIST WARMUP_LIST THUMB_DIR "
                             "OUT_PREFIX WIDTH\n");
        return 2;
    }
    const QStringList pdfs = readLines(QFile::decodeName(argv[1]));
    const QStringList warmup = readLines(QFile::decodeName(argv[2]));
    const QString thumbs = QFile::decodeName(argv[3]);
    const QString prefix = QFile::decodeName(argv[4]);
    const QString width = QString::fromLocal8Bit(argv[5]);
    QFile times(prefix + QStringLiteral(".files.tsv"));
    QFile summary(prefix + QStringLiteral(".summary"));
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/leafmark-bench-XXXXXX"));
    QTemporaryDir held(QDir::tempPath() + QStringLiteral("/leafmark-bench-XXXXXX"));
    if (pdfs.isEmpty() || !scratch.isValid() || !held.isValid() ||
        !times.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        !summary.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "leafmark-bench-magick: no PDF list, or cannot write the results\n");
        return 1;
    }
    // As the worker's own start-up sets them: ImageMagick's and Ghostscript's
    // temporary files go to the scratch folder.
    ::setenv("MAGICK_TEMPORARY_PATH", QFile::encodeName(scratch.path()).constData(), 1);
    ::setenv("TMPDIR", QFile::encodeName(scratch.path()).constData(), 1);

    BareLoop loop(scratch.path(), held.path());
    for (const QString &pdf : warmup)
        loop.convert(thumbnailJob(pdf, thumbs, width));

    const double cpuBefore = cpuSeconds();
    QTextStream out(&times);
    out << "order\tseconds\tfinished\tok\tpath\n";
    const auto loopStart = std::chrono::steady_clock::now();
    for (qsizetype i = 0; i < pdfs.size(); ++i) {
        const auto start = std::chrono::steady_clock::now();
        const QString problem = loop.convert(thumbnailJob(pdfs[i], thumbs, width));
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
