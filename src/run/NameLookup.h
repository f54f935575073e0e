#pragma once

#include <QString>

// "*" stands for any run of characters, "?" for one; letter case does not matter.
bool matchesPattern(const QString &name, const QString &pattern);

// A name lookup, not a folder test: true when the text names an existing entry
// of any kind, or when "*" and "?" in its last part match one.
bool nameExists(const QString &text);
