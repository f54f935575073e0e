#include "frmAbout.h"

frmAbout::frmAbout(QWidget *parent) : QDialog(parent) {}

int frmAbout::exec()
{
    return QDialog::exec();
}
