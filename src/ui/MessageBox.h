#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Every message box of the program: the text, an OK button only, the
// application title as title. Tests switch it to recording so that no box
// ever blocks them.
class MessageBox
{
public:
    static void show(QWidget *parent, const QString &text);

    static void recordInsteadOfShowing(bool record);
    static QStringList takeRecorded();

private:
    static bool s_recording;
    static QStringList s_recorded;
};
