#include "protocol/ConversionJob.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr qint64 mebibyte = 1024 * 1024;
constexpr qint64 anyThumbnailSize = 256 * mebibyte;
// Sixteen bits a channel, four channels, twice over for a format's overhead,
// and room for headers, profiles and comments.
constexpr qint64 bytesPerPixel = 16;
constexpr qint64 headroom = mebibyte;
constexpr qint64 longestPageAspect = 100;
constexpr qint64 largestSide = 1'000'000;

} // namespace

QString ConversionJob::outputExtension() const
{
    const QString name = output.mid(output.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

qint64 ConversionJob::largestThumbnailSize() const
{
    static const QRegularExpression plain(QStringLiteral("^([0-9]{0,7})x([0-9]{0,7})$"));
    const QRegularExpressionMatch sides = plain.match(geometry);
    if (!sides.hasMatch() || sides.capturedLength(1) + sides.capturedLength(2) == 0)
        return anyThumbnailSize;
    qint64 width = sides.captured(1).toLongLong();
    qint64 height = sides.captured(2).toLongLong();
    if (sides.capturedLength(1) == 0)
        width = height * longestPageAspect;
    if (sides.capturedLength(2) == 0)
        height = width * longestPageAspect;
    width = std::clamp<qint64>(width, 1, largestSide);
    height = std::clamp<qint64>(height, 1, largestSide);
    return std::min(width * height * bytesPerPixel + headroom, anyThumbnailSize);
}
