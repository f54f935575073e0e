#pragma once

#include <QPixmap>
#include <QString>

#include <optional>

class ImageDecoder;

// What the preview says of any file it cannot show, whatever the cause.
inline const QString CannotLoadFile = QStringLiteral("Cannot load file");

// Decodes the file through the decoder (the worker, in the program); nothing
// when it cannot.
[[nodiscard]] std::optional<QPixmap> LoadImageFile(const QString &path, ImageDecoder &decoder);
