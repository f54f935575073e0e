#pragma once

#include <QString>

// The title of the program and of every message box, and its version.
namespace AppIdentity {
inline const QString Title = QStringLiteral("Leafmark");
// The maker's name before the program's, as the main window's title bar and
// its explanation show it.
inline const QString MakerAndTitle = QStringLiteral("ORVANT ") + Title;
inline const QString Description = QStringLiteral("Create image thumbnails from PDF files.");
constexpr int VersionMajor = LEAFMARK_VERSION_MAJOR;
constexpr int VersionMinor = LEAFMARK_VERSION_MINOR;
constexpr int VersionRevision = LEAFMARK_VERSION_PATCH;
} // namespace AppIdentity
