#pragma once

#include <QString>

// The conversion worker of a program living in programFolder: beside it, as in
// a build tree or a portable copy, else where an installed program's helpers
// go (../libexec/leafmark, ../lib/leafmark). When there is none, the path
// beside the program, so that the start-up error names the usual place.
QString locateWorker(const QString &programFolder);

// The worker of this running program.
QString locateWorker();
