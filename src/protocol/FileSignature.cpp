#include "protocol/FileSignature.h"

#include <QByteArray>
#include <QFile>

#include <unistd.h>

#include <utility>

namespace FileSignature {

namespace {

// How far Ghostscript looks for a PDF's header, from the first byte that is
// not blank.
constexpr qsizetype pdfHeaderWindow = 1023;

bool isEps(const QByteArray &head)
{
    if (head.startsWith("\xC5\xD0\xD3\xC6"))
        return true;
    const QByteArray firstLine = head.left(head.indexOf('\n'));
    return firstLine.startsWith("%!PS-Adobe-") && firstLine.contains(" EPSF-");
}

bool isSvg(const QByteArray &head)
{
    const QByteArray trimmed = head.trimmed();
    return trimmed.startsWith('<') && trimmed.contains("<svg");
}

QString formatOfHead(const QByteArray &head)
{
    static const std::pair<QByteArray, const char *> prefixes[] = {
        {QByteArrayLiteral("\x89PNG\r\n\x1a\n"), "PNG"},
        {QByteArrayLiteral("\xFF\xD8\xFF"), "JPEG"},
        {QByteArrayLiteral("GIF87a"), "GIF"},
        {QByteArrayLiteral("GIF89a"), "GIF"},
        {QByteArrayLiteral("BM"), "BMP"},
        {QByteArrayLiteral("II*\0"), "TIFF"},
        {QByteArrayLiteral("MM\0*"), "TIFF"},
        {QByteArrayLiteral("id=ImageMagick"), "MIFF"},
    };
    for (const auto &[prefix, format] : prefixes) {
        if (head.startsWith(prefix))
            return QString::fromLatin1(format);
    }
    if (isEps(head))
        return QStringLiteral("EPS");
    if (ghostscriptReading(head).as == GhostscriptReading::As::Pdf)
        return QStringLiteral("PDF");
    if (isSvg(head))
        return QStringLiteral("SVG");
    return QString();
}

} // namespace

GhostscriptReading ghostscriptReading(const QByteArray &head)
{
    using As = GhostscriptReading::As;
    const bool whole = head.size() < headSize;
    qsizetype start = 0;
    while (start < head.size() && static_cast<unsigned char>(head[start]) <= ' ')
        ++start;
    if (start == head.size())
        return {whole ? As::Nothing : As::Undecided};
    const QByteArray window = head.mid(start, pdfHeaderWindow);
    if (window.startsWith("%!") || window.startsWith("%%"))
        return {As::PostScript};
    const qsizetype header = window.indexOf("%PDF-");
    if (header < 0)
        return {whole || window.size() == pdfHeaderWindow ? As::PostScript : As::Undecided};
    if (window.left(header).contains("%!PS"))
        return {As::PostScript};
    return {As::Pdf, start + header, header > 0};
}

QString formatOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return formatOfHead(file.read(headSize));
}

QString formatOfDescriptor(int fd)
{
    QByteArray head(headSize, Qt::Uninitialized);
    const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
    if (got < 0)
        return QString();
    head.truncate(got);
    return formatOfHead(head);
}

} // namespace FileSignature
