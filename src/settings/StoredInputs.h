#pragma once

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

} // namespace StoredInputs
