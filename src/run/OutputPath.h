#pragma once

#include <QString>

// True when the name is one file name and nothing more, so that a thumbnail
// under it lands directly in the output folder. A format edited into the
// settings file by hand can make it hold "/", or be "." or "..".
bool IsPlainFileName(const QString &name);

// Where the thumbnail of that name is written: the folder text as typed, then
// the name.
QString OutputPath(const QString &imageFolder, const QString &outputName);
