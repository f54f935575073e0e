#include "ui/RunTotal.h"

#include "run/MatchCount.h"

#include <QThread>

RunTotal::RunTotal(QObject *parent) : QObject(parent) {}

RunTotal::~RunTotal()
{
    stop();
}

void RunTotal::start(const QString &pdfFolder)
{
    stop();
    m_total = -1;
    m_thread.reset(QThread::create([this, pdfFolder] {
        const std::optional<qint64> total =
            CountMatchingEntries(pdfFolder, QStringLiteral("*.pdf"), [] {
                return QThread::currentThread()->isInterruptionRequested();
            });
        if (!total)
            return;
        m_total = *total;
        QMetaObject::invokeMethod(this, &RunTotal::deliver, Qt::QueuedConnection);
    }));
    m_thread->start(QThread::IdlePriority);
}

void RunTotal::finish(bool cancelled)
{
    if (!m_thread)
        return;
    if (cancelled)
        m_thread->requestInterruption();
    m_thread->wait();
    m_thread.reset();
    if (cancelled)
        m_total = -1;
    deliver();
}

void RunTotal::stop()
{
    if (!m_thread)
        return;
    m_thread->requestInterruption();
    m_thread->wait();
    m_thread.reset();
}

// Whichever comes first, the queued call or the end of the run, tells the total.
void RunTotal::deliver()
{
    const qint64 total = m_total.exchange(-1);
    if (total >= 0)
        emit counted(total);
}
