#pragma once

#include <QString>

// "settings.ini" in the folder of the program file when that folder is
// writable or already holds one; otherwise, as for a program installed where
// the user cannot write, "leafmark/settings.ini" in the user's configuration
// folder. Built anew on every call.
QString SettingsFilePath();

// The same choice for a given program folder and whether the user may write it.
QString SettingsFilePathFor(const QString &programFolder, bool programFolderWritable);

// The value of a key, or "" when the file, the section or the key is missing.
QString ReadSetting(const QString &section, const QString &key);

// Adds or replaces one "key=value" line and leaves every other line as it was.
// A failed write is silently lost.
void WriteSetting(const QString &section, const QString &key, const QString &value);
