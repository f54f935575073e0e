#pragma once

#include <QString>

#include <array>

struct ImageFormat
{
    const char *description;
    const char *extension;
    // ImageMagick's name for it; "" for WMF, which it cannot write.
    const char *magickName;
};

// The nine output formats, in the order the options dialog lists them.
extern const std::array<ImageFormat, 9> FormatTable;

// The output extension without its dot, read by the walk for every PDF.
extern QString CurrentFormat;

// Start-up: the stored value whole, "png" when nothing is stored.
QString startupFormat(const QString &stored);

// Opening the options dialog: the first three characters of the stored value,
// "png" when nothing is stored.
QString dialogOpeningFormat(const QString &stored);

// ImageMagick's name for the format a file with this extension holds, for the
// table's extensions and their long forms ("jpeg", "tiff", "miff"), in any
// case; "" for any other extension.
QString magickFormatOf(const QString &extension);

// The PDF's name without its last three characters, followed by the format.
QString outputFileName(const QString &pdfName, const QString &format);
