#pragma once

#include <QString>

// Puts a copy of source at target in one step: whoever looks at target sees
// either the file that was there or the whole new one, never a part. A new file
// gets what the umask gives an ordinary new file; a file that was there keeps
// its permissions, as it would when written over. Returns "" or why it failed.
[[nodiscard]] QString placeFile(const QString &source, const QString &target);
