#pragma once

#include <QList>
#include <QString>

#include <utility>

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

using SettingValues = QList<std::pair<QString, QString>>;

// Several keys of one section, set in order with a single replacement of the
// file. A value holding a line break is left out, as WriteSetting leaves it.
void WriteSettings(const QString &section, const SettingValues &values);
