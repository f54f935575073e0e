#pragma once

#include <QByteArray>
#include <QString>

// Pixels of a decoded image: width * height * 4 bytes, RGBA, 8 bits each.
struct DecodedImage
{
    int width = 0;
    int height = 0;
    QByteArray rgba;

    bool isNull() const { return width <= 0 || height <= 0; }
};

// Decodes an image file outside the window's process, so that a damaged or
// hostile file cannot take the window down. A null image means failure.
class ImageDecoder
{
public:
    virtual ~ImageDecoder() = default;
    virtual DecodedImage decodeImage(const QString &path) = 0;
};
