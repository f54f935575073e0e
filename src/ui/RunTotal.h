#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QThread;

// The number of PDFs a run handles in all, counted over the same tree in the
// walk's order on a thread of its own at idle priority: the run never waits
// for it, and it costs no time that the run or the workers could use.
class RunTotal : public QObject
{
    Q_OBJECT

public:
    explicit RunTotal(QObject *parent = nullptr);
    ~RunTotal() override;

    void start(const QString &pdfFolder);
    // A run that went to its end waits for the count, so that its last figure
    // is whole; the count of a cancelled run is dropped.
    void finish(bool cancelled);

signals:
    void counted(qint64 total);

private:
    void stop();
    void deliver();

    std::unique_ptr<QThread> m_thread;
    // The count once known, until delivered; -1 before.
    std::atomic<qint64> m_total{-1};
};
