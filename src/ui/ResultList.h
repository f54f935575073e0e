#pragma once

#include "ui/PaintPacer.h"

#include <QElapsedTimer>
#include <QHash>
#include <QIcon>
#include <QSet>
#include <QTableWidget>
#include <QTimer>

// The results list: one row per PDF of a run, in visiting order, marked once
// its conversion has returned, each telling a screen reader how it went.
// Return and the row menu ask the window to open a row. While a run's yield
// points come quickly, it is painted at a pace rather than at every one.
class ResultList final : public QTableWidget
{
    Q_OBJECT

public:
    explicit ResultList(QWidget *parent);

    // The single column "Results", as the window gives it while it loads.
    void showHeader();

    // Positions are the 1-based row numbers.
    void appendRow(qint64 position, const QString &text);
    void selectAndReveal(qint64 position);
    void mark(qint64 position, bool succeeded, const QString &failureReason);
    // The PDF of the row and where its thumbnail is, under the image folder.
    void describeSource(qint64 position, const QString &pdfPath, const QString &relativeOutput);
    void markUpToDate(qint64 position);
    void clearRows();

    // Where the selected row's thumbnail is, under the image folder; "" for none.
    QString selectedOutput() const;
    // Rows whose thumbnail a later row of the run wrote over.
    int replacedCount() const { return int(m_replacedRows.size()); }
    // One line per failed row: the PDF's path and the reason.
    QString failuresAsText() const;
    // Makes the next (or previous) failed row the current one, for the keyboard
    // and a screen reader. False when there is none.
    bool goToFailure(bool forward);

    // At each yield point of a run; see PaintPacer.
    void pacePainting();

signals:
    void openRequested();
    void showFolderRequested();
    void showPdfRequested(const QString &pdfPath);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void selectionChanged(const QItemSelection &selected,
                          const QItemSelection &deselected) override;
    // Home and End go to the first and last row, as in a list: a table's own
    // go to the ends of the row, which one column makes nothing.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void configure();
    void describe(int row, bool succeeded, const QString &failureReason);
    void tellReplacedRow(int row);
    void addFailureShortcuts();
    void revealPendingRow();

    QList<QIcon> ImageList1;
    // A grey check: done, and not by this run.
    QIcon m_upToDateIcon;
    PaintPacer m_pacer;
    QElapsedTimer m_clock;
    QTimer m_paintCatchUp;
    // The last row of each name whose thumbnail was written in this run.
    QHash<QString, int> m_convertedRows;
    QSet<int> m_replacedRows;
    bool m_selectingForRun = false;
    // The run's latest row, revealed when the list is next painted; -1 for none.
    int m_rowToReveal = -1;
};
