#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// Where the settings file is, built anew on every call. An installed copy
// keeps it in the user's configuration folder ("leafmark/settings.ini" there),
// whoever runs it. A copy run from its build folder or from a portable folder
// keeps "settings.ini" beside itself when that folder is writable or already
// holds one, and in the configuration folder otherwise.
QString settingsFilePath();

// The same choice for a given program folder.
QString settingsFilePathFor(const QString &programFolder, bool programFolderWritable,
                            bool installed);

// The value of a key, or "" when the file, the section or the key is missing.
QString ReadSetting(const QString &section, const QString &key);

// Adds or replaces one "key=value" line and leaves every other line as it was.
// A failed write is silently lost.
void WriteSetting(const QString &section, const QString &key, const QString &value);

using SettingValues = QList<std::pair<QString, QString>>;

// Several keys of one section, set in order with a single replacement of the
// file. A value holding a line break is left out, as WriteSetting leaves it.
void writeSettings(const QString &section, const SettingValues &values);
