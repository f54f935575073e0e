#pragma once

#include <QString>

#include <functional>
#include <optional>

// How many entries a walk of path with SearchStr will handle, counted in the
// walk's own visiting order; nothing when stopRequested turns true first.
std::optional<qint64> CountMatchingEntries(QString path, const QString &SearchStr,
                                           const std::function<bool()> &stopRequested);
