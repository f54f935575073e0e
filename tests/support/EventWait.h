#pragma once

#include <QTest>

#include <chrono>
#include <thread>

// Waits for an event a test expects. The ceiling is there only so that a
// fault ends the test with a message rather than hanging the suite; it lies
// far beyond what any machine, however slow or loaded, takes, and is never
// the verdict.
namespace EventWait {

inline constexpr int CeilingMs = 120000;

// On the test's thread, handling its events meanwhile.
template <typename Condition> bool until(Condition condition)
{
    return QTest::qWaitFor(condition, CeilingMs);
}

// On a thread with no event loop of its own.
template <typename Condition> bool pollUntil(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(CeilingMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace EventWait
