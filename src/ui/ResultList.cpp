#include "ui/ResultList.h"

#include "ui/Appearance.h"
#include "ui/Layout.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QShortcut>

#include <chrono>

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
    connect(&m_paintCatchUp, &QTimer::timeout, this, [this] { setUpdatesEnabled(true); });
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

void ResultList::selectAndReveal(qint64 position)
{
    QTableWidgetItem *row = item(int(position - 1), 0);
    setCurrentItem(row);
    scrollToItem(row);
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
}

// What a yield point leaves unpainted, the catch-up timer paints once the run
// has ended or lets the event loop run.
void ResultList::pacePainting()
{
    const bool paint = m_pacer.paintAt(m_clock.elapsed());
    setUpdatesEnabled(paint);
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
