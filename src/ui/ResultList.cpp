#include "ui/ResultList.h"

#include "ui/Appearance.h"
#include "ui/Layout.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QShortcut>
#include <QStyleOptionFocusRect>

#include <chrono>
#include <utility>

namespace {

// A run paints the results list at least this often.
constexpr std::chrono::milliseconds PaintInterval(15);

// A result row whose conversion failed; its tooltip holds the reason.
constexpr int FailedRole = Qt::UserRole;
const QString ReplacedText =
    QStringLiteral("A later file of the same name replaced this thumbnail.");

} // namespace

ResultList::ResultList(QWidget *parent)
    : QTableWidget(0, 1, parent), ImageList1{Appearance::checkIcon(), Appearance::crossIcon()},
      m_pacer(PaintInterval.count())
{
    configure();
    setAccessibleName(QStringLiteral("Results"));
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *open = new QShortcut(QKeySequence(key), this);
        open->setContext(Qt::WidgetShortcut);
        connect(open, &QShortcut::activated, this, &ResultList::openRequested);
    }
    m_paintCatchUp.setSingleShot(true);
    m_paintCatchUp.setInterval(PaintInterval);
    connect(&m_paintCatchUp, &QTimer::timeout, this, [this] {
        setUpdatesEnabled(true);
        revealPendingRow();
    });
    m_clock.start();
}

// A one-column table rather than a tree: a tree lays out every row again for
// each row added, which made a walk over tens of thousands of PDFs crawl.
void ResultList::configure()
{
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setSortingEnabled(false);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    QHeaderView *rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    // The hidden row header would work out where the new current row lies,
    // from the first row on, for every row a run selects.
    disconnect(selectionModel(), &QItemSelectionModel::currentChanged, rows, nullptr);
    QHeaderView *columns = horizontalHeader();
    columns->setStretchLastSection(false);
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void ResultList::showHeader()
{
    setHorizontalHeaderLabels({QStringLiteral("Results")});
    setColumnWidth(0, Layout::Main::ResultsColumnWidth);
}

void ResultList::appendRow(qint64 position, const QString &text)
{
    const int row = int(position - 1);
    insertRow(row);
    setItem(row, 0, new QTableWidgetItem(text));
}

// The keyboard stays where the user has it: in a list that has the focus the
// new row is selected and the current row stays; otherwise the new row becomes
// the current one too, where the keyboard starts once the user comes to the list.
// A row is scrolled to when the list is painted: scrolling to rows never seen
// would only tell assistive technology of every move of the scroll bar.
void ResultList::selectAndReveal(qint64 position)
{
    const int row = int(position - 1);
    const QModelIndex index = model()->index(row, 0);
    const auto select = QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    m_selectingForRun = true;
    if (hasFocus()) {
        selectionModel()->select(index, select);
    } else {
        setAutoScroll(false);
        selectionModel()->setCurrentIndex(index, select);
        setAutoScroll(true);
    }
    m_selectingForRun = false;
    m_rowToReveal = row;
    if (updatesEnabled())
        revealPendingRow();
}

void ResultList::revealPendingRow()
{
    if (m_rowToReveal < 0)
        return;
    scrollTo(model()->index(std::exchange(m_rowToReveal, -1), 0));
}

// The table view tells assistive technology that its current cell has the
// focus even while the list does not have it, so a screen reader would read
// every row a run adds as if the user had moved to it.
void ResultList::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    if (hasFocus())
        QTableWidget::currentChanged(current, previous);
    else
        QAbstractItemView::currentChanged(current, previous);
}

// The table view tells assistive technology of each selection through an
// accessible object of the cell, which it then keeps and goes through again for
// every row inserted: over a run of thousands of rows that cost grows with the
// square of the list. The run's own selections go untold; a screen reader that
// asks for the selection still gets it.
void ResultList::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    if (m_selectingForRun)
        QAbstractItemView::selectionChanged(selected, deselected);
    else
        QTableWidget::selectionChanged(selected, deselected);
}

void ResultList::mark(qint64 position, bool succeeded, const QString &failureReason)
{
    QTableWidgetItem *row = item(int(position - 1), 0);
    row->setIcon(ImageList1[succeeded ? 0 : 1]);
    if (!succeeded)
        row->setToolTip(failureReason);
    describe(int(position - 1), succeeded, failureReason);
}

void ResultList::clearRows()
{
    setRowCount(0);
    m_convertedRows.clear();
    m_rowToReveal = -1;
}

// What a yield point leaves unpainted, the catch-up timer paints once the run
// has ended or lets the event loop run.
void ResultList::pacePainting()
{
    const bool paint = m_pacer.paintAt(m_clock.elapsed());
    setUpdatesEnabled(paint);
    if (paint)
        revealPendingRow();
    if (!paint && !m_paintCatchUp.isActive())
        m_paintCatchUp.start();
}

// What the row's icon shows, for a screen reader. Two PDFs of one name give
// one thumbnail, the later one's; the earlier row says so.
void ResultList::describe(int row, bool succeeded, const QString &failureReason)
{
    QTableWidgetItem *described = item(row, 0);
    described->setData(FailedRole, !succeeded);
    described->setData(Qt::AccessibleDescriptionRole,
                       succeeded ? QStringLiteral("Converted")
                                 : QStringLiteral("Failed: %1").arg(failureReason));
    if (!succeeded)
        return;
    const auto earlier = m_convertedRows.constFind(described->text());
    if (earlier != m_convertedRows.cend()) {
        QTableWidgetItem *replaced = item(*earlier, 0);
        replaced->setToolTip(ReplacedText);
        replaced->setData(Qt::AccessibleDescriptionRole,
                          QStringLiteral("Converted; ") + ReplacedText.toLower());
    }
    m_convertedRows.insert(described->text(), row);
}

// For the row under the mouse, or from the keyboard for the selected row.
QModelIndex ResultList::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    if (rowCount() > 0 && (action == MoveHome || action == MoveEnd))
        return model()->index(action == MoveHome ? 0 : rowCount() - 1, 0);
    return QTableWidget::moveCursor(action, modifiers);
}

// A list with no row has no current row to draw the focus on; the frame goes
// round the whole list instead, so that a keyboard user sees where the focus is.
void ResultList::paintEvent(QPaintEvent *event)
{
    QTableWidget::paintEvent(event);
    if (rowCount() > 0 || !hasFocus())
        return;
    QPainter painter(viewport());
    QStyleOptionFocusRect frame;
    frame.initFrom(this);
    frame.rect = viewport()->rect().adjusted(1, 1, -1, -1);
    frame.backgroundColor = palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
}

void ResultList::focusInEvent(QFocusEvent *event)
{
    QTableWidget::focusInEvent(event);
    viewport()->update();
}

void ResultList::focusOutEvent(QFocusEvent *event)
{
    QTableWidget::focusOutEvent(event);
    viewport()->update();
}

void ResultList::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    const bool byMouse = event->reason() == QContextMenuEvent::Mouse;
    QTableWidgetItem *row = nullptr;
    if (byMouse)
        row = itemAt(viewport()->mapFromGlobal(event->globalPos()));
    else if (!selectedItems().isEmpty())
        row = selectedItems().first();
    if (!row)
        return;
    setCurrentItem(row);

    QMenu menu(this);
    const QAction *open = menu.addAction(QStringLiteral("Open"));
    const QAction *showInFolder = menu.addAction(QStringLiteral("Show in folder"));
    const QAction *copyReason =
        row->data(FailedRole).toBool() ? menu.addAction(QStringLiteral("Copy reason")) : nullptr;
    const QString reason = row->toolTip();
    const QPoint at =
        byMouse ? event->globalPos() : viewport()->mapToGlobal(visualItemRect(row).center());
    const QAction *chosen = menu.exec(at);
    if (chosen && chosen == open)
        emit openRequested();
    else if (chosen && chosen == showInFolder)
        emit showFolderRequested();
    else if (chosen && chosen == copyReason)
        QGuiApplication::clipboard()->setText(reason);
}
