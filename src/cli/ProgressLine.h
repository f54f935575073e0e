#pragma once

#include <QElapsedTimer>
#include <QString>

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

    void start();
    void handled(qint64 count);
    // The PDFs of the whole tree, once the walk has listed it.
    void setTotal(qint64 total) { m_total = total; }
    // Takes the line away, before a result is written to the same terminal.
    void erase();

private:
    QString text(qint64 count) const;

    bool m_shown = false;
    QElapsedTimer m_clock;
    // -1 until told.
    qint64 m_total = -1;
};
