#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Every entry of a folder (not below it) with a digest of its content, so a
// test can tell exactly which entries a step added, changed or removed.
using FolderSnapshot = QMap<QByteArray, QByteArray>;

FolderSnapshot snapshotOf(const QString &folder);

// Names of the entries that differ between the two, in byte order.
QList<QByteArray> changedEntries(const FolderSnapshot &before, const FolderSnapshot &after);
