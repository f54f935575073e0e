#include "hooks/EscapeProbe.h"
#include "hooks/FaultHook.h"
#include "hooks/LyingResult.h"
#include "hooks/RefusalRecorder.h"

#include "worker/RequestChild.h"
#include "worker/WorkerMain.h"

// The tests' worker: the installed one, with the escape probe, the lying
// result, the fault hook and the refusal recorder built in, and the only
// worker that can be told to run unconfined. Never installed.
int main(int argc, char *argv[])
{
    const EscapeProbe probe(qgetenv("LEAFMARK_WORKER_ESCAPE"));
    const LyingResult lie(qgetenv("LEAFMARK_WORKER_LIE"));
    const FaultHook faults(qgetenv("LEAFMARK_WORKER_FAULT"));
    WorkerHooks hooks;
    hooks.confined = qgetenv("LEAFMARK_WORKER_CONFINEMENT") != "off";
    hooks.answerInChild = !probe.actsInMain() && !lie.speaksForTheWorker();
    hooks.attach = [&probe, &faults](Worker &worker, const QString &scratchPath) {
        worker.setConversionProbe(probe);
        worker.setRendererProbe([probe] { probe.actAsRenderer(); });
        if (const int record = refusalRecordDescriptor(); record >= 0)
            RequestChild::keepInEveryRequest(record);
        const QString held = scratchPath + QStringLiteral("/held");
        worker.setRequestHook([faults](const QString &file) { faults.strikeIfMeant(file); });
        worker.setInputOpenedHook(
            [faults, held](const QString &input) { faults.holdIfMeant(input, held); });
    };
    hooks.afterAnswer = [&lie](const WorkerProtocol::Request &request, const QString &resultPath) {
        lie.replace(request, resultPath);
    };
    return runWorker(argc, argv, hooks);
}
