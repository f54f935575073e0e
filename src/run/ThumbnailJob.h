#pragma once

#include "protocol/ConversionJob.h"

#include <QString>

// The job for page 1 of a PDF, in the format the output's extension names,
// scaled into the geometry: the program's default width unless told.
ConversionJob thumbnailJob(const QString &pdf, const QString &output,
                           const QString &geometry = QStringLiteral("88x"));
