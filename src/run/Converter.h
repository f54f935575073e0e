#pragma once

#include <QString>
#include <QStringList>

// What one conversion gave back. An empty text means the conversion failed;
// failureReason then says why in words a user can act on.
struct ConversionResult
{
    QString text;
    QString failureReason;

    bool succeeded() const { return !text.isEmpty(); }
};

// ImageMagick's convert operation as the walk sees it: the six arguments
// "-thumbnail", geometry, "-alpha", "Remove", input path + "[0]", output path.
class Converter
{
public:
    virtual ~Converter() = default;

    // Makes the converter ready for use. Returns "" when it is, or a description
    // of what is missing (the worker does not start, ImageMagick or Ghostscript
    // is not there).
    virtual QString start() = 0;

    virtual ConversionResult Convert(const QStringList &arguments) = 0;
};
