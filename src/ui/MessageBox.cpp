#include "ui/MessageBox.h"

#include "ui/AppIdentity.h"

#include <QMessageBox>

bool MessageBox::s_recording = false;
QStringList MessageBox::s_recorded;

void MessageBox::show(QWidget *parent, const QString &text)
{
    if (s_recording) {
        s_recorded.append(text);
        return;
    }
    QMessageBox::information(parent, AppIdentity::Title, text, QMessageBox::Ok);
}

void MessageBox::recordInsteadOfShowing(bool record)
{
    s_recording = record;
    s_recorded.clear();
}

QStringList MessageBox::takeRecorded()
{
    return std::exchange(s_recorded, {});
}
