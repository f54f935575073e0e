#pragma once

#include <QString>

namespace FileManager {

// Opens the file's folder in the file manager with the file selected, through
// the file manager's ShowItems call on the session bus; without a bus, or a
// file manager that answers it, just opens the folder.
void showItem(const QString &path);

} // namespace FileManager
