#pragma once

#include "ui/PaintPacer.h"

#include <QElapsedTimer>
#include <QHash>
#include <QIcon>
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
    void clearRows();

    // At each yield point of a run; see PaintPacer.
    void pacePainting();

signals:
    void openRequested();
    void showFolderRequested();

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
    void revealPendingRow();

    QList<QIcon> ImageList1;
    PaintPacer m_pacer;
    QElapsedTimer m_clock;
    QTimer m_paintCatchUp;
    // The last row of each name whose thumbnail was written in this run.
    QHash<QString, int> m_convertedRows;
    bool m_selectingForRun = false;
    // The run's latest row, revealed when the list is next painted; -1 for none.
    int m_rowToReveal = -1;
};
