#pragma once

#include "protocol/UniqueFd.h"

#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

// SIGINT and SIGTERM as events: the handler only writes the signal's number
// into a pipe, and the event loop reads it at the run's next yield point and
// hands it on, where anything may be done safely.
class InterruptPipe
{
public:
    explicit InterruptPipe(std::function<void(int signal)> onInterrupt);
    ~InterruptPipe();
    InterruptPipe(const InterruptPipe &) = delete;
    InterruptPipe &operator=(const InterruptPipe &) = delete;

private:
    void readSignals();

    std::function<void(int)> m_onInterrupt;
    UniqueFd m_readEnd;
    UniqueFd m_writeEnd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<int> m_handled;
};
