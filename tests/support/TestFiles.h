#pragma once

#include "protocol/ConversionJob.h"
#include "run/ThumbnailJob.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

// Writes a PDF of the given number of pages, each of the given size in points,
// with a dark block on every page so that a thumbnail is never blank.
bool writePdf(const QString &path, int pages = 1, QSizeF pagePoints = QSizeF(595, 842));

// A one-page PDF written object by object, for what QPdfWriter cannot make:
// entries added to the page (such as "/Rotate 90" or a "/CropBox"), its
// resources, its content stream and, when given, an image XObject /Im0 of
// width x height RGB bytes, on a page of the given size in points.
struct RawPdfPage
{
    QSize points{300, 400};
    QByteArray pageEntries;
    QByteArray resources;
    QByteArray content;
    QSize imageSize;
    QByteArray imageRgb;
};
bool writeRawPdf(const QString &path, const RawPdfPage &page);

// A one-page PDF with a subset of a Chinese TrueType font embedded as a CID
// font under Identity-H, as office suites, browsers and XeTeX write them: made
// by Ghostscript from PostScript, then rewritten by poppler's cairo back end.
bool writeIdentityHPdf(const QString &path);

// Builds a tree below root from relative paths: a path ending in "/" is a
// folder, one ending in ".pdf" a real one-page PDF, anything else an empty file.
bool fillTree(const QString &root, const QStringList &relativePaths);

// The format ImageMagick would call the file, judged by its first bytes:
// "PNG", "JPEG", "GIF", "BMP", "TIFF", "EPS", "SVG", "MIFF", "PDF" or "".
QString sniffFormat(const QString &path);

// Writes the bytes as the whole content of the file.
bool writeBytes(const QString &path, const QByteArray &bytes);

// The whole content of the file; empty when it cannot be read.
QByteArray readWhole(const QString &path);

// How a failed QCOMPARE of two jobs shows them.
char *toString(const ConversionJob &job);
