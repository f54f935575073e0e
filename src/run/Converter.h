#pragma once

#include "protocol/ConversionJob.h"

#include <QString>

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

// The jobs of the entries a walk will meet next, one a call, in the walk's
// order; std::nullopt once there are no more.
using Forecast = std::function<std::optional<ConversionJob>()>;

// ImageMagick's convert operation as the walk sees it: one thumbnail a call.
class Converter
{
public:
    virtual ~Converter() = default;

    // Makes the converter ready for use. Returns "" when it is, or a description
    // of what is missing (the worker does not start, ImageMagick or Ghostscript
    // is not there).
    [[nodiscard]] virtual QString start() = 0;

    virtual ConversionResult Convert(const ConversionJob &job) = 0;

    // A walk tells what it will meet while it runs, and hands an empty forecast
    // when it ends. A converter may work ahead on it; what it did ahead is
    // thrown away at the end. It may also ignore it.
    virtual void foresee(Forecast forecast) { Q_UNUSED(forecast) }
};
