#pragma once

#include "worker/WorkerHooks.h"

// The worker program: "<program> <private folder>", requests on standard
// input, replies on standard output. Returns the program's exit status.
int runWorker(int argc, char *argv[], const WorkerHooks &hooks = {});
