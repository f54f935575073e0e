#include "worker/WorkerMain.h"

// Usage: leafmark-worker <private folder>. Requests arrive on standard input,
// replies leave on standard output.
int main(int argc, char *argv[])
{
    return runWorker(argc, argv);
}
