#pragma once

#include <QString>

// "settings.ini" in the folder of the program file, built anew on every call.
QString SettingsFilePath();

// The value of a key, or "" when the file, the section or the key is missing.
QString ReadSetting(const QString &section, const QString &key);

// Adds or replaces one "key=value" line and leaves every other line as it was.
// A failed write is silently lost.
void WriteSetting(const QString &section, const QString &key, const QString &value);
