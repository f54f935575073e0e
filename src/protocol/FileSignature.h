#pragma once

#include <QString>

// Formats told apart by their first bytes, named as ImageMagick names them.
namespace FileSignature {

// "PNG", "JPEG", "GIF", "BMP", "TIFF", "EPS", "SVG", "MIFF", "PDF", or "" for
// anything else and for a file that cannot be read.
QString formatOfFile(const QString &path);
// The same for the file open at fd, read from its start.
QString formatOfDescriptor(int fd);

} // namespace FileSignature
