#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What one conversion gave back. An empty text means the conversion failed;
// failureReason then says why in words a user can act on.
struct ConversionResult
{
    QString text;
    QString failureReason;

    bool succeeded() const { return !text.isEmpty(); }
};

// The convert arguments of the entries a walk will meet next, one a call, in
// the walk's order; std::nullopt once there are no more.
using Forecast = std::function<std::optional<QStringList>()>;

// ImageMagick's convert operation as the walk sees it: the six arguments
// "-thumbnail", geometry, "-alpha", "Remove", input path + "[0]", output path.
class Converter
{
public:
    virtual ~Converter() = default;

    // Makes the converter ready for use. Returns "" when it is, or a description
    // of what is missing (the worker does not start, ImageMagick or Ghostscript
    // is not there).
    [[nodiscard]] virtual QString start() = 0;

    virtual ConversionResult Convert(const QStringList &arguments) = 0;

    // A walk tells what it will meet while it runs, and hands an empty forecast
    // when it ends. A converter may work ahead on it; what it did ahead is
    // thrown away at the end. It may also ignore it.
    virtual void foresee(Forecast forecast) { Q_UNUSED(forecast) }
};
