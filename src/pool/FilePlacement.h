#pragma once

#include "protocol/ConversionJob.h"

#include <QString>

// A finished thumbnail, open at finishedFile, put in place for its job once it
// is seen to hold the format its name says. Returns "" or why it was not
// placed, in words for the results list.
[[nodiscard]] QString placeThumbnail(const ConversionJob &job, int finishedFile);

// Puts a copy of the file open at source at target in one step: whoever looks
// at target sees either the file that was there or the whole new one, never a
// part. A new file gets what the umask gives an ordinary new file; a file that
// was there keeps its permissions, as it would when written over. Returns ""
// or why it failed.
[[nodiscard]] QString placeFile(int source, const QString &target);
