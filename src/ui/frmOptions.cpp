#include "ui/frmOptions.h"

#include "settings/FormatTable.h"
#include "settings/StoredInputs.h"
#include "ui/Appearance.h"
#include "ui/FixedBorder.h"
#include "ui/Layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {

// Neither button may become the default, or Enter on the list would press it.
QPushButton *plainButton(const QString &text, const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// Below the format row, which keeps its place.
constexpr int RunOptionsTop = Layout::px(1170);
constexpr int RunOptionHeight = 22;
constexpr QSize ClientWithRunOptions(Layout::Options::Client.width(),
                                     RunOptionsTop + 2 * RunOptionHeight + 8);

QCheckBox *runOption(const QString &text, const QString &name, int index, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setGeometry(Layout::px(240), RunOptionsTop + index * RunOptionHeight,
                     Layout::Options::Client.width() - Layout::px(480), RunOptionHeight);
    return box;
}

} // namespace

frmOptions::frmOptions(QWidget *parent) : QDialog(parent)
{
    Appearance::setUpDialog(this, QStringLiteral("frmOptions"), Appearance::DialogKind::Form);
    setWindowTitle(QStringLiteral("Options"));
    FixedBorder::apply(this, ClientWithRunOptions);
    buildControls();
    buildRunOptions();
}

void frmOptions::buildControls()
{
    // Created in tab order.
    OKButton = plainButton(QStringLiteral("Aceptar"), QStringLiteral("OKButton"), this);
    OKButton->setGeometry(Layout::Options::OKButton);
    connect(OKButton, &QPushButton::clicked, this, &frmOptions::onOKButtonClicked);

    cboFormat = new QComboBox(this);
    cboFormat->setObjectName(QStringLiteral("cboFormat"));
    cboFormat->setEditable(false);
    cboFormat->setGeometry(Layout::Options::cboFormat);

    CancelButton = plainButton(QStringLiteral("Cancelar"), QStringLiteral("CancelButton"), this);
    CancelButton->setGeometry(Layout::Options::CancelButton);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    Label1 = new QLabel(QStringLiteral("Image format:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(Layout::Options::Label1);
    // Names the list for a screen reader.
    Label1->setBuddy(cboFormat);
}

void frmOptions::buildRunOptions()
{
    SkipUpToDate = runOption(QStringLiteral("Skip PDFs whose thumbnail is up to date"),
                             QStringLiteral("SkipUpToDate"), 0, this);
    KeepSubfolders = runOption(QStringLiteral("Keep the PDF folder's subfolders"),
                               QStringLiteral("KeepSubfolders"), 1, this);
}

RunOptions frmOptions::runOptions() const
{
    RunOptions options;
    options.skipUpToDate = SkipUpToDate->isChecked();
    options.keepSubfolders = KeepSubfolders->isChecked();
    return options;
}

int frmOptions::exec()
{
    m_openedWith = StoredInputs::loadRunOptions();
    SkipUpToDate->setChecked(m_openedWith.skipUpToDate);
    KeepSubfolders->setChecked(m_openedWith.keepSubfolders);
    fillFormatList();
    CurrentFormat = dialogOpeningFormat(StoredInputs::loadImageFormat());
    selectCurrentFormat();
    OKButton->setFocus();
    return QDialog::exec();
}

void frmOptions::fillFormatList()
{
    cboFormat->clear();
    FormatExtensions.clear();
    for (const ImageFormat &format : FormatTable) {
        cboFormat->addItem(QString::fromLatin1(format.description));
        FormatExtensions.append(QString::fromLatin1(format.extension));
    }
}

void frmOptions::selectCurrentFormat()
{
    int match = 0;
    for (int i = 0; i < FormatExtensions.size(); ++i) {
        if (FormatExtensions.at(i).compare(CurrentFormat, Qt::CaseInsensitive) == 0) {
            match = i;
            break;
        }
    }
    cboFormat->setCurrentIndex(match);
}

void frmOptions::onOKButtonClicked()
{
    CurrentFormat = FormatExtensions.at(cboFormat->currentIndex());
    StoredInputs::saveImageFormat(CurrentFormat);
    // Keys the user never changed stay out of the file.
    const RunOptions chosen = runOptions();
    if (chosen.skipUpToDate != m_openedWith.skipUpToDate ||
        chosen.keepSubfolders != m_openedWith.keepSubfolders)
        StoredInputs::saveRunOptions(chosen);
    accept();
}

void frmOptions::keyPressEvent(QKeyEvent *event)
{
    // The dialog has neither a default nor a cancel button: Escape does nothing
    // and Enter presses only the button that has the focus.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto *button = qobject_cast<QPushButton *>(focusWidget()))
            button->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
