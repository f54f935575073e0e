#pragma once

#include <QString>

// The workers' scratch folders carry the process ID of the program that made
// them, so that those of a program that is gone, killed before it could clear
// them up, can be told from those still in use and removed.
namespace OrphanedScratch {

// The QTemporaryDir template of a new scratch folder of this process.
QString folderTemplate();

// Removes this user's scratch folders whose program no longer runs.
void removeLeftovers();

} // namespace OrphanedScratch
