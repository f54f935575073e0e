#pragma once

// The two functions of other libraries this program replaces, and the one way
// the rest of the worker reaches them. See Interposition.cpp for the contract.

#include "protocol/WorkerProtocol.h"

class WarmGhostscript;

namespace Interposition {

// Whether libc's execvp was found, to hand commands on to.
bool forwards();

// The renderer that may take ImageMagick's start of gs, one at a time: false
// when another one holds the place.
bool arm(const WarmGhostscript *renderer);
void disarm(const WarmGhostscript *renderer);

// In the child that renders warm, before it renders: the command is counted
// as taken, and from then on the page files are written fast.
void takeOver();

// The gs commands of one conversion, counted on a pipe made for it alone
// before it starts and read once it has ended: every child ImageMagick forks
// meanwhile writes one byte for its command, before it reads any document.
class CommandCount
{
public:
    CommandCount();
    ~CommandCount();
    CommandCount(const CommandCount &) = delete;
    CommandCount &operator=(const CommandCount &) = delete;

    // What the conversion's commands took, into its reply.
    void addTo(WorkerProtocol::Reply &reply);

private:
    int m_read = -1;
    int m_write = -1;
};

} // namespace Interposition
