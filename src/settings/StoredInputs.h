#pragma once

#include "run/RunOptions.h"

#include <QString>

// The inputs the program remembers between runs, and the one place that knows
// where in the settings file they are kept.
struct RunInputs
{
    QString pdfFolder;
    QString imageFolder;
    QString thumbHeight;
    QString thumbWidth;
};

namespace StoredInputs {

RunInputs loadRunInputs();
// The four in one replacement of the file.
void saveRunInputs(const RunInputs &inputs);

QString loadImageFormat();
void saveImageFormat(const QString &format);

// Kept under keys of their own, which older copies of the program ignore.
RunOptions loadRunOptions();
void saveRunOptions(const RunOptions &options);

} // namespace StoredInputs
