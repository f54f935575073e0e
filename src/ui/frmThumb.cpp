#include "frmThumb.h"

frmThumb::frmThumb(ImageDecoder &decoder, QWidget *parent) : QDialog(parent), m_decoder(decoder) {}

void frmThumb::setImgPath(const QString &path)
{
    m_imgPath = path;
}

int frmThumb::exec()
{
    return QDialog::exec();
}
