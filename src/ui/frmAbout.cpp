#include "ui/frmAbout.h"

#include "ui/AppIdentity.h"
#include "ui/Appearance.h"
#include "ui/FixedBorder.h"
#include "ui/Layout.h"

#include <QDesktopServices>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QUrl>

namespace {

const QString WebAddress = QStringLiteral("example.com");
const QString CopyrightNotice =
    QStringLiteral("Copyright \u00a9 2026 ORVANT. All rights reserved.");

} // namespace

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    Appearance::setUpDialog(this, QStringLiteral("frmAbout"), Appearance::DialogKind::Form);
    FixedBorder::apply(this, Layout::About::Client);
    if (!Appearance::isDark(palette())) {
        QPalette blackText = palette();
        blackText.setColor(QPalette::WindowText, Qt::black);
        setPalette(blackText);
    }
    buildControls();
}

void frmAbout::buildControls()
{
    cmdOK = new QPushButton(QStringLiteral("Aceptar"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(Layout::About::cmdOK);
    // The default and the cancel button at once: Enter presses it, and
    // QDialog's own Escape closes the box just the same.
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    picIcon = addLabel(QStringLiteral("picIcon"), Layout::About::picIcon);
    picIcon->setPixmap(windowIcon().pixmap(Layout::About::picIcon.size()));

    lblDescription = addLabel(QStringLiteral("lblDescription"), Layout::About::lblDescription);
    lblDescription->setText(AppIdentity::Description);

    lblDisclaimer = addLabel(QStringLiteral("lblDisclaimer"), Layout::About::lblDisclaimer);
    lblDisclaimer->setText(CopyrightNotice);
    lblDisclaimer->setWordWrap(true);

    lblTitle = addLabel(QStringLiteral("lblTitle"), Layout::About::lblTitle);
    lblVersion = addLabel(QStringLiteral("lblVersion"), Layout::About::lblVersion);

    Label1 = addLabel(QStringLiteral("Label1"), Layout::About::Label1);
    Label1->setText(WebAddress);
    QFont linkFont = font();
    linkFont.setPointSizeF(14.25);
    linkFont.setUnderline(true);
    Label1->setFont(linkFont);
    QPalette link = Label1->palette();
    link.setColor(QPalette::WindowText, link.color(QPalette::Link));
    Label1->setPalette(link);
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->installEventFilter(this);
}

QLabel *frmAbout::addLabel(const QString &name, const QRect &geometry)
{
    auto *label = new QLabel(this);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

int frmAbout::exec()
{
    setWindowTitle(QStringLiteral("Acerca de ") + AppIdentity::Title);
    lblVersion->setText(QStringLiteral("Versión %1.%2.%3")
                            .arg(AppIdentity::VersionMajor)
                            .arg(AppIdentity::VersionMinor)
                            .arg(AppIdentity::VersionRevision));
    lblTitle->setText(AppIdentity::Title);
    cmdOK->setFocus();
    return QDialog::exec();
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label1 && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton &&
            Label1->rect().contains(mouse->position().toPoint()))
            openWebAddress();
    }
    return QDialog::eventFilter(watched, event);
}

// Whether the desktop managed to open it is not our concern; the box stays open.
void frmAbout::openWebAddress()
{
    QDesktopServices::openUrl(QUrl::fromUserInput(Label1->text()));
}

void frmAbout::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    // An etched separator: a grey groove with a white highlight below it.
    const QLine grey = Layout::About::LineGrey;
    const QLine white = Layout::About::LineWhite;
    const bool dark = Appearance::isDark(palette());
    QPainter painter(this);
    painter.fillRect(QRect(grey.p1(), QSize(grey.dx() + 1, 1)),
                     dark ? palette().color(QPalette::Shadow) : QColor(128, 128, 128));
    painter.fillRect(QRect(white.p1(), QSize(white.dx() + 1, 2)),
                     dark ? palette().color(QPalette::Mid) : QColor(Qt::white));
}
