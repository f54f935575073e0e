#pragma once

#include <QPixmap>
#include <QString>

class ImageDecoder;

// The preview's image loader. Every failure, whatever its cause, is error 5.
struct LoadError
{
    int number = 5;
    QString description = QStringLiteral("Cannot load file");
};

// Decodes the file through the decoder (the worker, in the program); throws
// LoadError when it cannot.
QPixmap LoadImageFile(const QString &path, ImageDecoder &decoder);
