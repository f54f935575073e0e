#pragma once

#include <QStringList>

// A thumbnail run without the window, with the window's walk, pool and checks.
// Returns the exit status: 0 when every PDF got its thumbnail, 1 when some
// did not, 2 for bad arguments or folders (nothing was converted then), and
// 128 plus the signal's number after SIGINT or SIGTERM.
int runFromCommandLine(const QStringList &arguments);
