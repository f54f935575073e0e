#include "ui/Leafmark.h"

#include "run/Converter.h"
#include "run/OutputPath.h"
#include "settings/FormatTable.h"
#include "settings/StoredInputs.h"
#include "ui/AccessibleLineEdit.h"
#include "ui/AppIdentity.h"
#include "ui/Appearance.h"
#include "ui/DoubleClickGuard.h"
#include "ui/FileManager.h"
#include "ui/FixedBorder.h"
#include "ui/GDI.h"
#include "ui/Layout.h"
#include "ui/MenuBarStyle.h"
#include "ui/MessageBox.h"
#include "ui/ResultList.h"
#include "ui/StatusLine.h"
#include "ui/frmAbout.h"
#include "ui/frmOptions.h"
#include "ui/frmThumb.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QUrl>

#include <utility>

namespace {

const QString ExplanationText =
    AppIdentity::MakerAndTitle +
    QStringLiteral(" create one image file for every PDF found on the PDF's folder.\n\n"
                   "- The image is the first page of the document.\n\n"
                   "- You can set the thumbsnail's width or height or both.\n\n"
                   "- You can change the image file's format from the settings menu.");

// The folder a drag from the file manager carries, or "" when it carries
// anything else.
QString draggedFolder(const QMimeData *data)
{
    if (!data || data->urls().size() != 1 || !data->urls().first().isLocalFile())
        return QString();
    const QString path = data->urls().first().toLocalFile();
    return QFileInfo(path).isDir() ? path : QString();
}

template <typename Widget> Widget *place(Widget *widget, const char *name, const QRect &geometry)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QFrame *dimensionLine(QWidget *parent, const char *name, const QLine &line)
{
    auto *frame = new QFrame(parent);
    frame->setFrameShape(line.dx() != 0 ? QFrame::HLine : QFrame::VLine);
    frame->setFrameShadow(QFrame::Plain);
    frame->setLineWidth(1);
    return place(frame, name,
                 QRect(QPoint(qMin(line.x1(), line.x2()), qMin(line.y1(), line.y2())),
                       QPoint(qMax(line.x1(), line.x2()), qMax(line.y1(), line.y2()))));
}

QLabel *captionLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    return place(new QLabel(text, parent), name, geometry);
}

// The captions were measured for Segoe UI; the wider fallback font is narrowed
// just enough that no caption loses its last characters.
void fitCaption(QLabel *label, qreal points)
{
    QFont font = Appearance::font(points);
    font.setStretch(QFont::Unstretched);
    while (font.stretch() > 85 &&
           QFontMetrics(font).horizontalAdvance(label->text()) > label->width())
        font.setStretch(font.stretch() - 1);
    label->setFont(font);
}

} // namespace

Leafmark::Leafmark(Converter &converter, ImageDecoder &decoder)
    : m_converter(converter), m_decoder(decoder), m_controller(*this, converter)
{
    setObjectName(QStringLiteral("Leafmark"));
    AccessibleLineEdit::installFactory();
    setWindowTitle(AppIdentity::MakerAndTitle);
    setWindowIcon(Appearance::applicationIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(Appearance::font());
    buildControls();
    buildMenus();
    connectHandlers();
    nameControlsForScreenReaders();
    FixedBorder::apply(this, sizeHint());
}

Leafmark::~Leafmark() = default;

void Leafmark::buildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(Layout::Main::Client);
    Appearance::useWindowBackground(client);
    setCentralWidget(client);

    txtPDFfolder = place(new QLineEdit(client), "txtPDFfolder", Layout::Main::txtPDFfolder);
    btnExplorerPDF = place(new QPushButton(QStringLiteral("..."), client), "btnExplorerPDF",
                           Layout::Main::btnExplorerPDF);
    txtImageFolder = place(new QLineEdit(client), "txtImageFolder", Layout::Main::txtImageFolder);
    btnExplorerImage = place(new QPushButton(QStringLiteral("..."), client), "btnExplorerImage",
                             Layout::Main::btnExplorerImage);
    txtWidth = place(new QLineEdit(client), "txtWidth", Layout::Main::txtWidth);
    txtHeight = place(new QLineEdit(client), "txtHeight", Layout::Main::txtHeight);

    fitCaption(
        captionLabel(client, "Label1", QStringLiteral("PDF's folder:"), Layout::Main::Label1),
        9.75);
    Convert = place(new QPushButton(QStringLiteral("Create thumbnails"), client), "Convert",
                    Layout::Main::Convert);
    fitCaption(
        captionLabel(client, "Label2", QStringLiteral("Thumbnails folder:"), Layout::Main::Label2),
        9.75);
    captionLabel(client, "Label3", QStringLiteral("px"), Layout::Main::Label3);
    captionLabel(client, "Label4", QStringLiteral("px"), Layout::Main::Label4);

    lblError = place(new StatusLine(client), "lblError", Layout::Main::lblError);
    lblError->setFont(Appearance::font(9, true));
    applyStatusColour(StatusColour::Red);

    auto *help = place(new QGroupBox(QStringLiteral("Help"), client), "Help", Layout::Main::Help);
    lblExplain = captionLabel(help, "lblExplain", QString(), Layout::Main::lblExplain);
    lblExplain->setWordWrap(true);
    lblExplain->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lstResult = place(new ResultList(client), "lstResult", Layout::Main::lstResult);

    auto *sample = place(new QLabel(client), "imgThumb", Layout::Main::imgThumb);
    sample->setFrameShape(QFrame::Box);
    sample->setLineWidth(1);
    sample->setPixmap(Appearance::samplePage());
    dimensionLine(client, "Line1", Layout::Main::Line1);
    dimensionLine(client, "Line2", Layout::Main::Line2);
    dimensionLine(client, "Line3", Layout::Main::Line3);
    dimensionLine(client, "Line4", Layout::Main::Line4);

    QWidget::setTabOrder(txtPDFfolder, btnExplorerPDF);
    QWidget::setTabOrder(btnExplorerPDF, txtImageFolder);
    QWidget::setTabOrder(txtImageFolder, btnExplorerImage);
    QWidget::setTabOrder(btnExplorerImage, txtWidth);
    QWidget::setTabOrder(txtWidth, txtHeight);
    QWidget::setTabOrder(txtHeight, Convert);
    QWidget::setTabOrder(Convert, lstResult);
}

void Leafmark::buildMenus()
{
    QAction *settings = menuBar()->addAction(QStringLiteral("Settings"));
    settings->setObjectName(QStringLiteral("mnuOptions"));
    connect(settings, &QAction::triggered, this, &Leafmark::showOptions);
    QAction *about = menuBar()->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("mnuAbout"));
    connect(about, &QAction::triggered, this, &Leafmark::showAbout);
    auto *style = new MenuBarStyle;
    style->setParent(menuBar());
    menuBar()->setStyle(style);
    auto *menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, &Leafmark::armMenuBar);
    connect(menuBar(), &QMenuBar::triggered, this, &Leafmark::leaveMenuBar);
    menuBar()->installEventFilter(this);
}

// F10 walks the menu bar from its first item, as Alt does. Qt's keyboard walk
// of the menu bar is open to Alt alone, so this one gives the focus back to
// where it was itself, when the walk is left with Escape or by a choice.
void Leafmark::armMenuBar()
{
    if (menuBar()->hasFocus() || menuBar()->actions().isEmpty())
        return;
    m_focusBeforeMenuBar = QApplication::focusWidget();
    menuBar()->setFocus(Qt::MenuBarFocusReason);
    menuBar()->setActiveAction(menuBar()->actions().first());
}

void Leafmark::leaveMenuBar()
{
    if (QWidget *before = std::exchange(m_focusBeforeMenuBar, nullptr);
        before && menuBar()->hasFocus())
        before->setFocus(Qt::MenuBarFocusReason);
}

void Leafmark::connectHandlers()
{
    connect(btnExplorerPDF, &QPushButton::clicked, this,
            [this] { pickFolder(txtPDFfolder, QStringLiteral("Select PDF folder")); });
    connect(btnExplorerImage, &QPushButton::clicked, this,
            [this] { pickFolder(txtImageFolder, QStringLiteral("Select thumbnails folder")); });
    connect(Convert, &QPushButton::clicked, this, [this] { m_controller.onConvertClicked(); });
    // Enter presses the focused button, as Space does.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *press = new QShortcut(QKeySequence(key), Convert);
        press->setContext(Qt::WidgetShortcut);
        connect(press, &QShortcut::activated, Convert, &QPushButton::click);
    }
    new DoubleClickGuard(Convert);
    m_cancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_cancelKey->setEnabled(false);
    connect(m_cancelKey, &QShortcut::activated, this, &Leafmark::cancelByKey);
    connect(lstResult, &QTableWidget::itemDoubleClicked, this, &Leafmark::showPreview);
    connect(lstResult, &ResultList::openRequested, this, &Leafmark::showPreview);
    connect(lstResult, &ResultList::showFolderRequested, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(selectedRowFolder())); });
    connect(lstResult, &ResultList::showPdfRequested, this, &FileManager::showItem);
    txtPDFfolder->installEventFilter(this);
    txtImageFolder->installEventFilter(this);
}

bool Leafmark::load()
{
    const QString converterError = m_converter.start();
    if (!converterError.isEmpty()) {
        MessageBox::show(
            nullptr, QStringLiteral("Leafmark cannot start its converter: %1").arg(converterError));
        return false;
    }
    lblExplain->setText(ExplanationText);
    m_controller.loadStoredInputs();
    m_controller.setRunOptions(StoredInputs::loadRunOptions());
    lstResult->showHeader();
    return true;
}

void Leafmark::closeEvent(QCloseEvent *event)
{
    if (m_ending || !m_controller.onCloseRequested()) {
        m_closed = true;
        event->accept();
        return;
    }
    event->ignore();
}

// A folder dropped on a folder box fills it; other dragged files are refused
// rather than pasted in as text. A box is disabled, and takes no drop, during a run.
// Escape in the menu bar ends a walk that F10 began.
bool Leafmark::eventFilter(QObject *watched, QEvent *event)
{
    const auto type = event->type();
    if (watched == menuBar()) {
        if (type == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            leaveMenuBar();
        return QMainWindow::eventFilter(watched, event);
    }
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QMainWindow::eventFilter(watched, event);
    auto *drop = static_cast<QDropEvent *>(event);
    if (!drop->mimeData()->hasUrls())
        return QMainWindow::eventFilter(watched, event);
    const QString folder = draggedFolder(drop->mimeData());
    if (folder.isEmpty()) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop)
        static_cast<QLineEdit *>(watched)->setText(folder);
    return true;
}

void Leafmark::pickFolder(QLineEdit *box, const QString &title)
{
    const QString chosen = QFileDialog::getExistingDirectory(this, title);
    if (!chosen.isEmpty())
        box->setText(chosen);
}

void Leafmark::showOptions()
{
    if (!m_options)
        m_options = std::make_unique<frmOptions>(this);
    if (m_options->exec() == QDialog::Accepted)
        m_controller.setRunOptions(m_options->runOptions());
}

void Leafmark::showAbout()
{
    if (!m_about)
        m_about = std::make_unique<frmAbout>(this);
    m_about->exec();
}

void Leafmark::showPreview()
{
    if (!Convert->isEnabled())
        return;
    const QList<QTableWidgetItem *> selected = lstResult->selectedItems();
    if (selected.isEmpty())
        return;
    // A row the walk refused for its name has no thumbnail, and the name
    // would lead out of the output folder.
    const QString name = selected.first()->text();
    if (!isPlainFileName(name)) {
        MessageBox::show(this, CannotLoadFile);
        return;
    }
    if (!m_thumb)
        m_thumb = std::make_unique<frmThumb>(m_decoder, this);
    m_thumb->setImgPath(
        outputFilePath(m_controller.LastImageFolder(), lstResult->selectedOutput()));
    m_thumb->exec();
}

QString Leafmark::imageFolderText() const
{
    return txtImageFolder->text();
}

QString Leafmark::widthText() const
{
    return txtWidth->text();
}

QString Leafmark::heightText() const
{
    return txtHeight->text();
}

void Leafmark::appendResultRow(qint64 position, const QString &text)
{
    lstResult->appendRow(position, text);
}

void Leafmark::selectAndRevealRow(qint64 position)
{
    lstResult->selectAndReveal(position);
}

void Leafmark::markResultRow(qint64 position, bool succeeded, const QString &failureReason)
{
    lstResult->mark(position, succeeded, failureReason);
    m_desktop.fileHandled(position, succeeded);
}

void Leafmark::describeResultRow(qint64 position, const QString &pdfPath,
                                 const QString &relativeOutput)
{
    lstResult->describeSource(position, pdfPath, relativeOutput);
}

void Leafmark::markUpToDateRow(qint64 position)
{
    lstResult->markUpToDate(position);
    m_desktop.fileHandled(position, true);
    m_desktop.fileSkipped();
}

void Leafmark::runTotalKnown(qint64 total)
{
    m_desktop.setTotal(total);
}

void Leafmark::yieldPoint()
{
    lstResult->pacePainting();
    QCoreApplication::processEvents();
}

QString Leafmark::currentFormat() const
{
    return CurrentFormat;
}

QString Leafmark::pdfFolderText() const
{
    return txtPDFfolder->text();
}

RunInputs Leafmark::runInputs() const
{
    return {txtPDFfolder->text(), txtImageFolder->text(), txtHeight->text(), txtWidth->text()};
}

void Leafmark::showRunInputs(const RunInputs &inputs)
{
    txtPDFfolder->setText(inputs.pdfFolder);
    txtImageFolder->setText(inputs.imageFolder);
    txtHeight->setText(inputs.thumbHeight);
    txtWidth->setText(inputs.thumbWidth);
}

// A disabled button hands the focus on to the next control, and nothing gave
// it back: a keyboard user could no longer cancel with Space. While the button
// is disabled the focus is nowhere, so that a screen reader hears no other
// control; it comes back unless a control took it meanwhile (a failed check
// moves it to the field at fault).
void Leafmark::setConvertEnabled(bool enabled)
{
    if (!enabled && Convert->hasFocus()) {
        m_convertKeepsFocus = true;
        Convert->clearFocus();
    }
    Convert->setEnabled(enabled);
    if (enabled && std::exchange(m_convertKeepsFocus, false) && !focusWidget())
        Convert->setFocus(Qt::OtherFocusReason);
}

// Escape is a click on "Cancel!", taken only while a run is in progress and
// the button takes clicks.
void Leafmark::cancelByKey()
{
    if (Convert->isEnabled())
        Convert->click();
}

void Leafmark::setConvertBold(bool bold)
{
    QFont font = Convert->font();
    font.setBold(bold);
    Convert->setFont(font);
}

void Leafmark::setConvertCaption(const QString &caption)
{
    Convert->setText(caption);
}

bool Leafmark::isPdfPickerEnabled() const
{
    return btnExplorerPDF->isEnabled();
}

void Leafmark::setInputsEnabled(bool enabled)
{
    const QList<QWidget *> boxes = {txtPDFfolder, txtImageFolder, txtWidth, txtHeight};
    const QList<QWidget *> pickers = {btnExplorerPDF, btnExplorerImage};
    for (QWidget *control : enabled ? pickers + boxes : boxes + pickers)
        control->setEnabled(enabled);
    m_cancelKey->setEnabled(!enabled);
    reportRunToDesktop(!enabled);
}

void Leafmark::clearResults()
{
    lstResult->clearRows();
}

void Leafmark::setStatusText(const QString &text)
{
    lblError->say(text);
}

void Leafmark::setStatusColour(StatusColour colour)
{
    applyStatusColour(colour);
}

void Leafmark::applyStatusColour(StatusColour colour)
{
    QPalette palette = lblError->palette();
    palette.setColor(QPalette::WindowText,
                     colour == StatusColour::Red
                         ? Appearance::statusRed(palette)
                         : QApplication::palette().color(QPalette::WindowText));
    lblError->setPalette(palette);
}

void Leafmark::focusField(InputField field)
{
    switch (field) {
    case InputField::PdfFolder:
        txtPDFfolder->setFocus();
        break;
    case InputField::ImageFolder:
        txtImageFolder->setFocus();
        break;
    case InputField::Width:
        txtWidth->setFocus();
        break;
    }
}

bool Leafmark::isClosed() const
{
    return m_closed;
}

// Closing the last window ends the event loop, and with it the program.
void Leafmark::endProgram()
{
    m_ending = true;
    QApplication::closeAllWindows();
}

void Leafmark::nameControlsForScreenReaders()
{
    findChild<QLabel *>(QStringLiteral("Label1"))->setBuddy(txtPDFfolder);
    findChild<QLabel *>(QStringLiteral("Label2"))->setBuddy(txtImageFolder);
    txtWidth->setAccessibleName(QStringLiteral("Width"));
    txtWidth->setAccessibleDescription(QStringLiteral("Thumbnail width in pixels"));
    txtHeight->setAccessibleName(QStringLiteral("Height"));
    txtHeight->setAccessibleDescription(QStringLiteral("Thumbnail height in pixels"));
    btnExplorerPDF->setAccessibleName(QStringLiteral("Choose the PDF folder"));
    btnExplorerImage->setAccessibleName(QStringLiteral("Choose the thumbnails folder"));
}

// The rows are those of the run in progress, or else of the last run that found PDFs.
QString Leafmark::resultsFolder() const
{
    return isPdfPickerEnabled() ? m_controller.LastImageFolder() : txtImageFolder->text();
}

// With subfolders kept, the selected row's thumbnail may lie below the folder.
QString Leafmark::selectedRowFolder() const
{
    const QString output = lstResult->selectedOutput();
    const qsizetype slash = output.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? resultsFolder() : resultsFolder() + QLatin1Char('/') + output.left(slash);
}

// A run in progress shows its count in the dock; one that ends in the
// background, having found PDFs, is told in a notification.
void Leafmark::reportRunToDesktop(bool running)
{
    if (running) {
        m_desktop.runStarted();
        return;
    }
    m_desktop.setReplaced(lstResult->replacedCount());
    const bool longRun = m_desktop.runEnded();
    if (longRun && !isActiveWindow() && lstResult->rowCount() > 0 && !m_controller.QuitRequested())
        m_desktop.notify(lblError->text(), m_controller.LastImageFolder());
}
