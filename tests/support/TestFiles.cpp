#include "support/TestFiles.h"

#include "settings/FormatTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

bool writePdf(const QString &path, int pages, QSizeF pagePoints)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(pagePoints, QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(72);
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        const QRectF area(0, 0, pagePoints.width(), pagePoints.height());
        painter.fillRect(area, Qt::white);
        painter.fillRect(area.adjusted(area.width() / 8, area.height() / 8, -area.width() / 8,
                                       -area.height() / 2),
                         QColor(30, 60, 120));
    }
    return painter.end();
}

bool fillTree(const QString &root, const QStringList &relativePaths)
{
    for (const QString &relative : relativePaths) {
        const QString path = root + QLatin1Char('/') + relative;
        if (relative.endsWith(QLatin1Char('/'))) {
            if (!QDir().mkpath(path))
                return false;
            continue;
        }
        if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            return false;
        if (relative.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
            if (!writePdf(path))
                return false;
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
    }
    return true;
}

QString sniffFormat(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray head = file.read(64);
    static const std::pair<QByteArray, const char *> signatures[] = {
        {QByteArrayLiteral("\x89PNG"), "PNG"},
        {QByteArrayLiteral("\xFF\xD8\xFF"), "JPEG"},
        {QByteArrayLiteral("GIF8"), "GIF"},
        {QByteArrayLiteral("BM"), "BMP"},
        {QByteArrayLiteral("II*\0"), "TIFF"},
        {QByteArrayLiteral("MM\0*"), "TIFF"},
        {QByteArrayLiteral("%!PS-Adobe"), "EPS"},
        {QByteArrayLiteral("\xC5\xD0\xD3\xC6"), "EPS"},
        {QByteArrayLiteral("id=ImageMagick"), "MIFF"},
        {QByteArrayLiteral("%PDF"), "PDF"},
        {QByteArrayLiteral("<?xml"), "SVG"},
        {QByteArrayLiteral("<svg"), "SVG"},
    };
    for (const auto &[prefix, format] : signatures) {
        if (head.startsWith(prefix))
            return QString::fromLatin1(format);
    }
    return QString();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ConversionJob thumbnailJob(const QString &pdf, const QString &output, const QString &geometry)
{
    ConversionJob job;
    job.input = pdf;
    job.geometry = geometry;
    job.output = output;
    job.format = MagickFormatOf(job.outputExtension());
    return job;
}

char *toString(const ConversionJob &job)
{
    const QString shown = QStringLiteral("%1%2 -> %3 (%4) at %5")
                              .arg(job.input, job.firstPageOnly ? QStringLiteral(" page 1") : QString(),
                                   job.output, job.format, job.geometry);
    return qstrdup(shown.toUtf8().constData());
}
