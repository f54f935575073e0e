#pragma once

#include <QElapsedTimer>
#include <QString>

#include <atomic>
#include <memory>

class QThread;

// The run's progress on standard error, one line redrawn in place: how many
// PDFs were handled of how many, the rate and the time left. Only on a
// terminal; a log file or a pipe gets nothing but errors.
class ProgressLine
{
public:
    ProgressLine();
    ~ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    // Counts the tree's PDFs beside the run, and starts the clock.
    void start(const QString &pdfFolder);
    void handled(qint64 count);
    // Takes the line away, before a result is written to the same terminal.
    void erase();

private:
    QString text(qint64 count) const;

    bool m_shown = false;
    QElapsedTimer m_clock;
    std::unique_ptr<QThread> m_counter;
    std::atomic<bool> m_stopCounting{false};
    // The PDFs of the whole tree once counted; -1 before.
    std::atomic<qint64> m_total{-1};
};
