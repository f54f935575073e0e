#include "frmOptions.h"

frmOptions::frmOptions(QWidget *parent) : QDialog(parent) {}

int frmOptions::exec()
{
    return QDialog::exec();
}
