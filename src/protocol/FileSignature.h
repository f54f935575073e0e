#pragma once

#include <QByteArray>
#include <QString>

// Formats told apart by their first bytes, named as ImageMagick names them.
namespace FileSignature {

// How many of a file's first bytes are read to tell its format.
constexpr qsizetype headSize = 4096;

// "PNG", "JPEG", "GIF", "BMP", "TIFF", "EPS", "SVG", "MIFF", "PDF", or "" for
// anything else and for a file that cannot be read.
QString formatOfFile(const QString &path);
// The same for the file open at fd, read from its start.
QString formatOfDescriptor(int fd);

// What Ghostscript makes of a file named on its command line, as its own
// "run" decides: after leading bytes up to the space, "%!" or "%%" makes it
// PostScript; otherwise "%PDF-" within the next 1023 bytes makes it a PDF,
// unless "%!PS" comes before it; anything else is PostScript too. A file of
// blanks alone is nothing. A PDF is what ImageMagick renders; "PDF" above
// means exactly this.
struct GhostscriptReading
{
    enum class As { Pdf, PostScript, Nothing, Undecided };
    As as = As::Undecided;
    // Pdf: where its header starts; Ghostscript skips what comes before, and
    // warns when that is more than blanks.
    qsizetype header = 0;
    bool garbageBefore = false;
};
// head: the file's first headSize bytes, or the whole file when shorter.
// Undecided when blanks fill a head that is not the whole file.
GhostscriptReading ghostscriptReading(const QByteArray &head);

} // namespace FileSignature
