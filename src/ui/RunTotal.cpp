#include "ui/RunTotal.h"

#include "run/MatchCount.h"

#include <QThread>

RunTotal::RunTotal(QObject *parent) : QObject(parent) {}

RunTotal::~RunTotal()
{
    abandonCount();
}

void RunTotal::start(const QString &pdfFolder)
{
    abandonCount();
    auto total = std::make_shared<std::atomic<qint64>>(-1);
    m_total = total;
    m_delivered = false;
    m_thread = QThread::create([total, pdfFolder] {
        const std::optional<qint64> counted =
            CountMatchingEntries(pdfFolder, QStringLiteral("*.pdf"), [] {
                return QThread::currentThread()->isInterruptionRequested();
            });
        if (counted)
            total->store(*counted);
    });
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    connect(m_thread, &QThread::finished, this, &RunTotal::deliverIfArrived);
    m_thread->start(QThread::IdlePriority);
}

void RunTotal::finish(bool cancelled, qint64 handled)
{
    if (!m_total)
        return;
    if (!cancelled && !m_delivered) {
        const qint64 arrived = m_total->load();
        emit counted(arrived >= 0 ? arrived : handled);
    }
    abandonCount();
}

// The thread stops at its next entry, and ends on its own.
void RunTotal::abandonCount()
{
    if (m_thread) {
        disconnect(m_thread, nullptr, this, nullptr);
        m_thread->requestInterruption();
        m_thread = nullptr;
    }
    m_total.reset();
}

void RunTotal::deliverIfArrived()
{
    if (!m_total || m_delivered)
        return;
    const qint64 total = m_total->load();
    if (total < 0)
        return;
    m_delivered = true;
    emit counted(total);
}
