#pragma once

#include <QtGlobal>

#include <chrono>

#include <time.h>

inline qint64 steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The CPU time of the calling thread: unlike the wall clock, it does not grow
// while other programs on a busy machine have the processor.
inline qint64 threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// A moment on both clocks.
struct Stamp
{
    qint64 wallNs = 0;
    qint64 cpuNs = 0;

    static Stamp now() { return {steadyNanoseconds(), threadCpuNanoseconds()}; }
};
