#include "worker/WorkerMain.h"

// The installed worker but for its renderer: a new gs for every page, as
// before Ghostscript was kept started.
int main(int argc, char *argv[])
{
    WorkerHooks hooks;
    hooks.rendering = Worker::Rendering::Cold;
    return runWorker(argc, argv, hooks);
}
