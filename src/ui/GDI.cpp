#include "ui/GDI.h"

#include "pool/ImageDecoder.h"

#include <QImage>

std::optional<QPixmap> LoadImageFile(const QString &path, ImageDecoder &decoder)
{
    const DecodedImage decoded = decoder.decodeImage(path);
    const qsizetype bytesPerLine = qsizetype(decoded.width) * 4;
    // The pixels come from another process: a buffer that does not match the
    // size it claims would have QImage read past its end.
    if (decoded.isNull() || decoded.rgba.size() != bytesPerLine * decoded.height)
        return std::nullopt;
    const QImage image(reinterpret_cast<const uchar *>(decoded.rgba.constData()), decoded.width,
                       decoded.height, bytesPerLine, QImage::Format_RGBA8888);
    QPixmap picture = QPixmap::fromImage(image);
    if (picture.isNull())
        return std::nullopt;
    return picture;
}
