#pragma once

#include <QString>

#include <sys/types.h>

// Puts a copy of source at target in one step: whoever looks at target sees
// either the file that was there or the whole new one, never a part. A new file
// gets newFileMode; a file that was there keeps its permissions, as it would
// when written over. Returns "" or why it failed.
QString placeFile(const QString &source, const QString &target, mode_t newFileMode);
