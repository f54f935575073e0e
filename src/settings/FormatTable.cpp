#include "FormatTable.h"

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

QString StartupFormat(const QString &stored)
{
    return orDefault(stored);
}

QString DialogOpeningFormat(const QString &stored)
{
    return orDefault(stored.left(3));
}

QString OutputName(const QString &pdfName, const QString &format)
{
    return pdfName.chopped(qMin<qsizetype>(3, pdfName.size())) + format;
}
