#pragma once

#include <QString>

// Mounts made by a test stay inside its own process and the workers it starts:
// they vanish with the process, whatever way it ends.
namespace PrivateMounts {

// Call first thing in main(), before any thread exists.
void enter();

// "" when mounts can be made, or why they cannot (not root, no namespaces).
QString unavailableReason();

// Each returns "" or why it failed.
QString mountSmallDisk(const QString &folder, qint64 bytes);
QString makeReadOnly(const QString &path);
QString unmount(const QString &path);

} // namespace PrivateMounts
