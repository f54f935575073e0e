#pragma once

#include <QString>

// True when the name is one file name and nothing more, so that a thumbnail
// under it lands directly in the output folder. A format edited into the
// settings file by hand can make it hold "/", or be "." or "..".
bool isPlainFileName(const QString &name);

// Where the thumbnail of that name is written: the folder text as typed, then
// the name.
QString outputFilePath(const QString &imageFolder, const QString &outputName);

// Makes the relative folder ("a/b/", or "" for the image folder itself) under
// the image folder, one component at a time, and refuses a component that is
// a link or not a folder, so that a thumbnail never lands outside the image
// folder. Returns "" or why it cannot be made, in words for the results list.
QString makeSubfolders(const QString &imageFolder, const QString &relativeFolder);
