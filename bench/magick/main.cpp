// The cost of ImageMagick itself: its convert command called in a loop in one
// process, with the worker's security policy and the program's six arguments.
#include "MagickRuntime.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

#include <wand/MagickWand.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct ImageInfoDeleter
{
    void operator()(ImageInfo *info) const { DestroyImageInfo(info); }
};
struct ExceptionDeleter
{
    void operator()(ExceptionInfo *exception) const { DestroyExceptionInfo(exception); }
};

bool convert(const QStringList &arguments)
{
    std::vector<QByteArray> encoded{QByteArrayLiteral("convert")};
    for (const QString &argument : arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());

    std::unique_ptr<ImageInfo, ImageInfoDeleter> info(AcquireImageInfo());
    std::unique_ptr<ExceptionInfo, ExceptionDeleter> exception(AcquireExceptionInfo());
    char *metadata = nullptr;
    const bool done = ConvertImageCommand(info.get(), int(argv.size()), argv.data(), &metadata,
                                          exception.get()) == MagickTrue;
    const bool described = metadata && *metadata;
    if (metadata)
        MagickRelinquishMemory(metadata);
    return done && described && exception->severity < ErrorException;
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList thumbnailArguments(const QString &pdf, const QString &thumbs, const QString &width)
{
    const QString thumb =
        thumbs + QLatin1Char('/') + QFileInfo(pdf).fileName().chopped(3) + QStringLiteral("png");
    return {QStringLiteral("-thumbnail"), width + QLatin1Char('x'),    QStringLiteral("-alpha"),
            QStringLiteral("Remove"),     pdf + QStringLiteral("[0]"), thumb};
}

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
    if (pdfs.isEmpty() || !times.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        !summary.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "leafmark-bench-magick: no PDF list, or cannot write the results\n");
        return 1;
    }

    MagickRuntime runtime;
    if (!runtime.problem().isEmpty()) {
        std::fprintf(stderr, "leafmark-bench-magick: %s\n", qPrintable(runtime.problem()));
        return 1;
    }
    for (const QString &pdf : warmup)
        convert(thumbnailArguments(pdf, thumbs, width));

    const double cpuBefore = cpuSeconds();
    QTextStream out(&times);
    out << "order\tseconds\tok\tpath\n";
    for (qsizetype i = 0; i < pdfs.size(); ++i) {
        const QStringList arguments = thumbnailArguments(pdfs[i], thumbs, width);
        const auto start = std::chrono::steady_clock::now();
        const bool ok = convert(arguments);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        out << i + 1 << '\t' << took.count() << '\t' << (ok ? 1 : 0) << '\t' << pdfs[i] << '\n';
    }
    QTextStream(&summary) << "files\t" << pdfs.size() << "\ncpu_seconds\t"
                          << cpuSeconds() - cpuBefore << '\n';
    return 0;
}
