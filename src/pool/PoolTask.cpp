#include "pool/PoolTask.h"

#include "pool/PoolWorker.h"

PoolTask::~PoolTask()
{
    if (answeredBy)
        answeredBy->lastAnswered = nullptr;
}

void PoolTask::makeAgain()
{
    heldFile.reset();
    heldSize = 0;
    state = State::Waiting;
    worker = nullptr;
}
