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

// A result row whose conversion failed, and why.
constexpr int FailedRole = Qt::UserRole;
constexpr int ReasonRole = Qt::UserRole + 1;
constexpr int PdfRole = Qt::UserRole + 2;
// Under the image folder; the row's text when the walk told none.
constexpr int OutputRole = Qt::UserRole + 3;
const QString ReplacedText =
    QStringLiteral("A later file of the same name replaced this thumbnail.");
const QString UpToDateText = QStringLiteral("Up to date");

QString pdfLine(const QTableWidgetItem *row)
{
    const QString pdf = row->data(PdfRole).toString();
    return pdf.isEmpty() ? QString() : QStringLiteral("PDF: ") + pdf;
}

// The PDF's path first, then what a user needs to know of the outcome.
void tell(QTableWidgetItem *row, const QString &outcome, const QString &detail)
{
    const QString pdf = pdfLine(row);
    QStringList tip{pdf, detail};
    tip.removeAll(QString());
    row->setToolTip(tip.join(QLatin1Char('\n')));
    QStringList description{outcome, pdf};
    description.removeAll(QString());
    row->setData(Qt::AccessibleDescriptionRole, description.join(QStringLiteral(". ")));
}

} // namespace

ResultList::ResultList(QWidget *parent)
    : QTableWidget(0, 1, parent), ImageList1{Appearance::checkIcon(), Appearance::crossIcon()},
      m_upToDateIcon(ImageList1[0].pixmap(QSize(16, 16), QIcon::Disabled)),
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
    addFailureShortcuts();
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
    describe(int(position - 1), succeeded, failureReason);
}

void ResultList::describeSource(qint64 position, const QString &pdfPath,
                                const QString &relativeOutput)
{
    QTableWidgetItem *row = item(int(position - 1), 0);
    row->setData(PdfRole, pdfPath);
    row->setData(OutputRole, relativeOutput);
    tell(row, QString(), QString());
}

void ResultList::markUpToDate(qint64 position)
{
    QTableWidgetItem *row = item(int(position - 1), 0);
    row->setIcon(m_upToDateIcon);
    tell(row, UpToDateText, UpToDateText);
}

QString ResultList::selectedOutput() const
{
    const QList<QTableWidgetItem *> selected = selectedItems();
    if (selected.isEmpty())
        return QString();
    const QString output = selected.first()->data(OutputRole).toString();
    return output.isEmpty() ? selected.first()->text() : output;
}

QString ResultList::failuresAsText() const
{
    QString text;
    for (int row = 0; row < rowCount(); ++row) {
        const QTableWidgetItem *failed = item(row, 0);
        if (!failed->data(FailedRole).toBool())
            continue;
        const QString pdf = failed->data(PdfRole).toString();
        text += (pdf.isEmpty() ? failed->text() : pdf) + QStringLiteral(": ") +
                failed->data(ReasonRole).toString() + QLatin1Char('\n');
    }
    return text;
}

// The list takes the focus, so that a screen reader reads the row it lands on.
bool ResultList::goToFailure(bool forward)
{
    const int rows = rowCount();
    const int from = currentRow() < 0 ? (forward ? -1 : rows) : currentRow();
    for (int step = 1; step <= rows; ++step) {
        const int row = ((from + (forward ? step : -step)) % rows + rows) % rows;
        if (!item(row, 0)->data(FailedRole).toBool())
            continue;
        setFocus(Qt::ShortcutFocusReason);
        setCurrentItem(item(row, 0));
        scrollTo(model()->index(row, 0));
        return true;
    }
    return false;
}

void ResultList::addFailureShortcuts()
{
    for (const bool forward : {true, false}) {
        auto *key =
            new QShortcut(QKeySequence(forward ? Qt::Key_F8 : Qt::SHIFT | Qt::Key_F8), this);
        key->setContext(Qt::WindowShortcut);
        connect(key, &QShortcut::activated, this, [this, forward] { goToFailure(forward); });
    }
}

void ResultList::clearRows()
{
    setRowCount(0);
    m_convertedRows.clear();
    m_replacedRows.clear();
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
    described->setData(ReasonRole, failureReason);
    if (!succeeded) {
        tell(described, QStringLiteral("Failed: %1").arg(failureReason), failureReason);
        return;
    }
    tell(described, QStringLiteral("Converted"), QString());
    const QString output = described->data(OutputRole).toString();
    const QString key = output.isEmpty() ? described->text() : output;
    const auto earlier = m_convertedRows.constFind(key);
    if (earlier != m_convertedRows.cend())
        tellReplacedRow(*earlier);
    m_convertedRows.insert(key, row);
}

void ResultList::tellReplacedRow(int row)
{
    m_replacedRows.insert(row);
    tell(item(row, 0), QStringLiteral("Converted; ") + ReplacedText.toLower(), ReplacedText);
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
    const bool failed = row->data(FailedRole).toBool();
    const QAction *copyReason = failed ? menu.addAction(QStringLiteral("Copy reason")) : nullptr;
    const QString reason = row->data(ReasonRole).toString();
    const QString pdf = row->data(PdfRole).toString();
    const QAction *copyPdf =
        pdf.isEmpty() ? nullptr : menu.addAction(QStringLiteral("Copy path of the PDF"));
    const QAction *showPdf =
        pdf.isEmpty() ? nullptr : menu.addAction(QStringLiteral("Show the PDF in its folder"));
    const QString failures = failuresAsText();
    QAction *copyFailures = nullptr;
    if (!failures.isEmpty()) {
        menu.addSeparator();
        copyFailures = menu.addAction(QStringLiteral("Copy all failures"));
        menu.addAction(QStringLiteral("Next failure"), QKeySequence(Qt::Key_F8), this,
                       [this] { goToFailure(true); });
        menu.addAction(QStringLiteral("Previous failure"), QKeySequence(Qt::SHIFT | Qt::Key_F8),
                       this, [this] { goToFailure(false); });
    }
    const QPoint at =
        byMouse ? event->globalPos() : viewport()->mapToGlobal(visualItemRect(row).center());
    const QAction *chosen = menu.exec(at);
    if (chosen && chosen == open)
        emit openRequested();
    else if (chosen && chosen == showInFolder)
        emit showFolderRequested();
    else if (chosen && chosen == copyReason)
        QGuiApplication::clipboard()->setText(reason);
    else if (chosen && chosen == copyPdf)
        QGuiApplication::clipboard()->setText(pdf);
    else if (chosen && chosen == showPdf)
        emit showPdfRequested(pdf);
    else if (chosen && chosen == copyFailures)
        QGuiApplication::clipboard()->setText(failures);
}
