#include "cli/InterruptPipe.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int handledSignals[] = {SIGINT, SIGTERM};

// The one pipe a signal handler may write to: there is one run per process.
volatile sig_atomic_t signalPipe = -1;

void writeSignalNumber(int signal)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds an interrupt; losing another changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe, &number, 1);
    errno = savedErrno;
}

void setHandler(int signal, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

// A shell starts a background job with SIGINT ignored: a
// signal ignored from the start stays ignored, as in every other program.
bool ignoredFromTheStart(int signal)
{
    struct sigaction current = {};
    return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

} // namespace

InterruptPipe::InterruptPipe(std::function<void(int)> onInterrupt)
    : m_onInterrupt(std::move(onInterrupt))
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        qFatal("cannot make a pipe for interrupts");
    m_readEnd.reset(ends[0]);
    m_writeEnd.reset(ends[1]);
    signalPipe = m_writeEnd.get();
    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd.get(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { readSignals(); });
    for (const int signal : handledSignals) {
        if (!ignoredFromTheStart(signal)) {
            setHandler(signal, writeSignalNumber);
            m_handled.push_back(signal);
        }
    }
}

InterruptPipe::~InterruptPipe()
{
    for (const int signal : m_handled)
        setHandler(signal, SIG_DFL);
    signalPipe = -1;
}

void InterruptPipe::readSignals()
{
    unsigned char number = 0;
    while (::read(m_readEnd.get(), &number, 1) == 1)
        m_onInterrupt(number);
}
