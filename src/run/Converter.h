#pragma once

#include "protocol/ConversionJob.h"

#include <QString>

#include <vector>

// What one conversion gave back. An empty text means the conversion failed;
// failureReason then says why in words a user can act on.
struct ConversionResult
{
    QString text;
    QString failureReason;

    bool succeeded() const { return !text.isEmpty(); }
};

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

    // How many of the walk's next jobs the converter would work on ahead.
    virtual qsizetype jobsAhead() const { return 0; }
    // The jobs the walk will ask for next, in its order, the one it is about
    // to ask for first; each list replaces the one before, and an empty one
    // ends the run's look-ahead. A converter may work ahead on them; what it
    // did for a job no longer listed is thrown away.
    virtual void foresee(const std::vector<ConversionJob> &upcoming) { Q_UNUSED(upcoming) }
};
