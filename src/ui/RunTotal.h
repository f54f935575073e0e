#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <memory>

class QThread;

// The number of PDFs a run handles in all, counted over the same tree in the
// walk's order on a thread of its own at idle priority, so that it costs no
// time that the run or the workers could use. The window never waits for it:
// a thread at idle priority may get no processor for as long as the workers
// keep every core busy.
class RunTotal : public QObject
{
    Q_OBJECT

public:
    explicit RunTotal(QObject *parent = nullptr);
    ~RunTotal() override;

    void start(const QString &pdfFolder);
    // A run that went to its end tells its total: the count if it has arrived,
    // else the files it handled, which is the same figure. The count of a
    // cancelled run is dropped.
    void finish(bool cancelled, qint64 handled);

signals:
    void counted(qint64 total);

private:
    void abandonCount();
    void deliverIfArrived();

    // Deletes itself once it has ended.
    QPointer<QThread> m_thread;
    // The count once known, -1 before; shared with the thread, which may
    // outlive this object.
    std::shared_ptr<std::atomic<qint64>> m_total;
    bool m_delivered = false;
};
