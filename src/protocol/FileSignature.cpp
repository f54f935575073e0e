#include "protocol/FileSignature.h"

#include <QByteArray>
#include <QFile>

#include <unistd.h>

#include <utility>

namespace FileSignature {

namespace {

// Readers accept a PDF header anywhere in the first kilobyte, and an SVG may
// open with an XML declaration, a doctype and comments before its root.
constexpr int pdfHeaderWindow = 1024;
constexpr int headSize = 4096;

bool isEps(const QByteArray &head)
{
    if (head.startsWith("\xC5\xD0\xD3\xC6"))
        return true;
    const QByteArray firstLine = head.left(head.indexOf('\n'));
    return firstLine.startsWith("%!PS-Adobe-") && firstLine.contains(" EPSF-");
}

// Ghostscript runs a file as PostScript when it opens with "%!" or "%%"
// after blanks, whatever "%PDF-" follows, and as PDF when "%PDF-" comes
// within its first kilobyte otherwise. Neither may come before the header,
// wherever: what precedes it must not be able to start a program.
bool isPdf(const QByteArray &head)
{
    const qsizetype header = head.left(pdfHeaderWindow).indexOf("%PDF-");
    if (header < 0)
        return false;
    const QByteArray before = head.left(header + 1);
    return !before.contains("%!") && !before.contains("%%");
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
    if (isPdf(head))
        return QStringLiteral("PDF");
    if (isSvg(head))
        return QStringLiteral("SVG");
    return QString();
}

} // namespace

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
