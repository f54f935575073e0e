#pragma once

#include <QString>
#include <QStringList>

// Where an install puts the program's parts, relative to the program's
// folder. A build tree or a portable copy keeps the worker beside the
// program instead.
namespace InstallLayout {

// The worker's file name, wherever it sits.
QString workerFileName();

// Where an install puts the worker: ../libexec/leafmark, else ../lib/leafmark.
QStringList workerPaths();

// True when the program sits in an installed layout: its worker at one of the
// installed paths.
bool isInstalledCopy(const QString &programFolder);

} // namespace InstallLayout
