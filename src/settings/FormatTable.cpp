#include "settings/FormatTable.h"

const std::array<ImageFormat, 9> FormatTable = {{
    {"Portable Network Graphics (*.PNG)", "png"},
    {"Joint Photographic Experts Group (*.JPG)", "jpg"},
    {"Graphics Interchange Format (*.GIF)", "gif"},
    {"Bitmap image (*.BMP)", "bmp"},
    {"Tagged Image File Format (*.TIF, *.TIFF)", "tif"},
    {"Encapsulated PostScript (*.EPS)", "eps"},
    {"Scalable Vector Graphics (*.SVG)", "svg"},
    {"Windows Metafile (*.WMF)", "wmf"},
    {"Magick Image File Format (*.MIF, *.MIFF)", "mif"},
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
QString StartupFormat(const QString &stored)
{
    constexpr qsizetype longestFileName = 255;
    return stored.toUtf8().size() > longestFileName ? orDefault(QString()) : orDefault(stored);
}

QString DialogOpeningFormat(const QString &stored)
{
    return orDefault(stored.left(3));
}

QString OutputName(const QString &pdfName, const QString &format)
{
    return pdfName.chopped(qMin<qsizetype>(3, pdfName.size())) + format;
}
