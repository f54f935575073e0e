#include "settings/FormatTable.h"

#include <utility>

const std::array<ImageFormat, 9> FormatTable = {{
    {"Portable Network Graphics (*.PNG)", "png", "PNG"},
    {"Joint Photographic Experts Group (*.JPG)", "jpg", "JPEG"},
    {"Graphics Interchange Format (*.GIF)", "gif", "GIF"},
    {"Bitmap image (*.BMP)", "bmp", "BMP"},
    {"Tagged Image File Format (*.TIF, *.TIFF)", "tif", "TIFF"},
    {"Encapsulated PostScript (*.EPS)", "eps", "EPS"},
    {"Scalable Vector Graphics (*.SVG)", "svg", "SVG"},
    {"Windows Metafile (*.WMF)", "wmf", ""},
    {"Magick Image File Format (*.MIF, *.MIFF)", "mif", "MIFF"},
}};

QString CurrentFormat;

namespace {
QString orDefault(const QString &format)
{
    return format.isEmpty() ? QString::fromLatin1(FormatTable[0].extension) : format;
}
} // namespace

// No file name is longer than 255 bytes, so a longer stored value can name
// no output at all; it is a damaged settings file, and rows that long would
// hold the window for seconds each.
QString startupFormat(const QString &stored)
{
    constexpr qsizetype longestFileName = 255;
    return stored.toUtf8().size() > longestFileName ? orDefault(QString()) : orDefault(stored);
}

QString dialogOpeningFormat(const QString &stored)
{
    return orDefault(stored.left(3));
}

QString magickFormatOf(const QString &extension)
{
    // A format typed into the settings file by hand may be the long form.
    static const std::pair<const char *, const char *> longForms[] = {
        {"jpeg", "JPEG"}, {"jpe", "JPEG"}, {"tiff", "TIFF"}, {"miff", "MIFF"}};
    const QString lower = extension.toLower();
    for (const ImageFormat &format : FormatTable) {
        if (lower == QLatin1String(format.extension))
            return QString::fromLatin1(format.magickName);
    }
    for (const auto &[longForm, name] : longForms) {
        if (lower == QLatin1String(longForm))
            return QString::fromLatin1(name);
    }
    return QString();
}

QString outputFileName(const QString &pdfName, const QString &format)
{
    return pdfName.chopped(qMin<qsizetype>(3, pdfName.size())) + format;
}
