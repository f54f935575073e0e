#include "ui/frmThumb.h"

#include "ui/Appearance.h"
#include "ui/GDI.h"
#include "ui/Layout.h"
#include "ui/MessageBox.h"

#include <QIcon>
#include <QLabel>

frmThumb::frmThumb(ImageDecoder &decoder, QWidget *parent) : QDialog(parent), m_decoder(decoder)
{
    Appearance::setUpDialog(this, QStringLiteral("frmThumb"), Appearance::DialogKind::Picture);
    setWindowTitle(QStringLiteral("Image"));

    imgThumb = new QLabel(this);
    imgThumb->setObjectName(QStringLiteral("imgThumb"));
    imgThumb->setFrameStyle(QFrame::Box | QFrame::Plain);
    imgThumb->setLineWidth(1);
    imgThumb->setScaledContents(false);
    imgThumb->move(Layout::Thumb::imgThumb);
}

void frmThumb::setImgPath(const QString &path)
{
    m_imgPath = path;
}

int frmThumb::exec()
{
    const std::optional<QPixmap> loaded = LoadImageFile(m_imgPath, m_decoder);
    if (!loaded) {
        MessageBox::show(parentWidget(), CannotLoadFile);
        return ClosedWhileLoading;
    }
    const QPixmap &picture = *loaded;
    imgThumb->setPixmap(picture);
    const int border = 2 * imgThumb->frameWidth();
    imgThumb->resize(picture.deviceIndependentSize().toSize() + QSize(border, border));
    m_outerSize = imgThumb->size() + Layout::Thumb::OuterExtra;
    resize(m_outerSize);
    return QDialog::exec();
}

void frmThumb::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    applyOuterSize();
}

// The size rule is about the outer size, and the window system reports the
// frame only once the window is on screen.
void frmThumb::applyOuterSize()
{
    const QSize frame = frameGeometry().size() - size();
    if (frame.isNull())
        return;
    resize(m_outerSize - frame);
    if (QWidget *opener = parentWidget()) {
        QRect outer = frameGeometry();
        outer.moveCenter(opener->window()->frameGeometry().center());
        move(outer.topLeft());
    }
}
