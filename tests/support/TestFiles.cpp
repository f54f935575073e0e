#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>

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

bool writeRawPdf(const QString &path, const RawPdfPage &page)
{
    QByteArray resources = page.resources;
    if (!page.imageRgb.isEmpty())
        resources += " /XObject << /Im0 5 0 R >>";
    QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + QByteArray::number(page.points.width()) +
            ' ' + QByteArray::number(page.points.height()) + "] " + page.pageEntries +
            " /Resources << " + resources + " >> /Contents 4 0 R >>",
        "<< /Length " + QByteArray::number(page.content.size()) + " >>\nstream\n" + page.content +
            "\nendstream",
    };
    if (!page.imageRgb.isEmpty()) {
        objects << "<< /Type /XObject /Subtype /Image /Width " +
                       QByteArray::number(page.imageSize.width()) + " /Height " +
                       QByteArray::number(page.imageSize.height()) +
                       " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Length " +
                       QByteArray::number(page.imageRgb.size()) + " >>\nstream\n" + page.imageRgb +
                       "\nendstream";
    }
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets << pdf.size();
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return writeBytes(path, pdf);
}

bool writeIdentityHPdf(const QString &path)
{
    const QByteArray program = "<< /PageSize [300 200] >> setpagedevice\n"
                               "/ShanHeiSun-Light-UniCNS-UTF16-H findfont 48 scalefont setfont\n"
                               "20 120 moveto <4E2D65874F60597D> show\n"
                               "/Helvetica 20 selectfont 20 40 moveto (Leafmark) show showpage\n";
    QTemporaryDir work;
    const QString postScript = work.filePath(QStringLiteral("page.ps"));
    const QString fromGhostscript = work.filePath(QStringLiteral("page.pdf"));
    return work.isValid() && writeBytes(postScript, program) &&
           QProcess::execute(QStringLiteral("gs"),
                             {QStringLiteral("-q"), QStringLiteral("-dSAFER"),
                              QStringLiteral("-dBATCH"), QStringLiteral("-dNOPAUSE"),
                              QStringLiteral("-sDEVICE=pdfwrite"), QStringLiteral("-o"),
                              fromGhostscript, postScript}) == 0 &&
           QProcess::execute(QStringLiteral("pdftocairo"),
                             {QStringLiteral("-pdf"), fromGhostscript, path}) == 0;
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

char *toString(const ConversionJob &job)
{
    const QString shown =
        QStringLiteral("%1 -> %2 (%3) at %4").arg(job.input, job.output, job.format, job.geometry);
    return qstrdup(shown.toUtf8().constData());
}
