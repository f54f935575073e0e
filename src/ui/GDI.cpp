#include "GDI.h"

#include "run/ImageDecoder.h"

QPixmap LoadImageFile(const QString &, ImageDecoder &)
{
    throw LoadError{};
}
