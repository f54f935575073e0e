#include "cli/CliArguments.h"

#include "pool/WorkerConverter.h"
#include "settings/FormatTable.h"

#include <QCommandLineParser>

namespace {

const QString PdfFolder = QStringLiteral("pdf-folder");
const QString ImageFolder = QStringLiteral("image-folder");
const QString Width = QStringLiteral("width");
const QString Height = QStringLiteral("height");
const QString Format = QStringLiteral("format");
const QString Jobs = QStringLiteral("jobs");
const QString Json = QStringLiteral("json");
const QString SkipUpToDate = QStringLiteral("skip-up-to-date");
const QString KeepSubfolders = QStringLiteral("keep-subfolders");

// WMF has no ImageMagick writer: every thumbnail in it would fail.
QStringList writableFormats()
{
    QStringList formats;
    for (const ImageFormat &format : FormatTable) {
        if (*format.magickName != '\0')
            formats.append(QLatin1String(format.extension));
    }
    return formats;
}

bool isPositiveNumber(const QString &text, int &number)
{
    bool ok = false;
    number = text.toInt(&ok);
    return ok && number > 0 && !text.startsWith(QLatin1Char('+'));
}

} // namespace

void CliArguments::addRunOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {PdfFolder, QStringLiteral("Convert the PDFs in <dir> and its subfolders."),
         QStringLiteral("dir")},
        {ImageFolder, QStringLiteral("Write the thumbnails into <dir>."), QStringLiteral("dir")},
        {Width, QStringLiteral("Thumbnail width in pixels (88 when neither size is given)."),
         QStringLiteral("pixels")},
        {Height, QStringLiteral("Thumbnail height in pixels."), QStringLiteral("pixels")},
        {Format,
         QStringLiteral("Image format: %1 (default png).")
             .arg(writableFormats().join(QStringLiteral(", "))),
         QStringLiteral("ext")},
        {Jobs, QStringLiteral("Convert in <n> workers (default: the cores this program may use)."),
         QStringLiteral("n")},
        {Json, QStringLiteral("Write one JSON object per PDF instead of tab-separated lines.")},
        {SkipUpToDate,
         QStringLiteral("Leave out PDFs whose thumbnail is up to date with the same inputs.")},
        {KeepSubfolders, QStringLiteral("Put each thumbnail in the subfolder matching its PDF's.")},
    });
}

bool CliArguments::asksForRun(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i].startsWith(QLatin1String("--")))
            return true;
    }
    return false;
}

CliArguments::CliArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    addRunOptions(parser);
    if (!parser.parse(arguments)) {
        m_error = parser.errorText();
        return;
    }
    if (!parser.positionalArguments().isEmpty()) {
        m_error = QStringLiteral("Unexpected argument '%1'").arg(parser.positionalArguments()[0]);
        return;
    }
    read(parser);
}

void CliArguments::read(const QCommandLineParser &parser)
{
    m_request.pdfFolder = parser.value(PdfFolder);
    m_request.imageFolder = parser.value(ImageFolder);
    m_request.json = parser.isSet(Json);
    m_request.options.skipUpToDate = parser.isSet(SkipUpToDate);
    m_request.options.keepSubfolders = parser.isSet(KeepSubfolders);
    if (!readSize(parser, Width, m_request.width) || !readSize(parser, Height, m_request.height) ||
        !readFormat(parser) || !readJobs(parser))
        return;
    // The window offers the same width to a first run.
    if (m_request.width.isEmpty() && m_request.height.isEmpty())
        m_request.width = QStringLiteral("88");
}

bool CliArguments::readSize(const QCommandLineParser &parser, const QString &name, QString &size)
{
    if (!parser.isSet(name))
        return true;
    int pixels = 0;
    if (!isPositiveNumber(parser.value(name), pixels))
        return reject(name,
                      QStringLiteral("'%1' is not a number of pixels").arg(parser.value(name)));
    size = QString::number(pixels);
    return true;
}

bool CliArguments::readFormat(const QCommandLineParser &parser)
{
    if (!parser.isSet(Format))
        return true;
    const QString format = parser.value(Format).toLower();
    if (!writableFormats().contains(format))
        return reject(Format,
                      QStringLiteral("'%1' is not one of %2")
                          .arg(parser.value(Format), writableFormats().join(QStringLiteral(", "))));
    m_request.format = format;
    return true;
}

bool CliArguments::readJobs(const QCommandLineParser &parser)
{
    m_request.jobs = WorkerConverter::usableCores();
    return !parser.isSet(Jobs) || isPositiveNumber(parser.value(Jobs), m_request.jobs) ||
           reject(Jobs, QStringLiteral("'%1' is not a number of workers").arg(parser.value(Jobs)));
}

bool CliArguments::reject(const QString &option, const QString &problem)
{
    m_error = QStringLiteral("--%1: %2").arg(option, problem);
    return false;
}
