#pragma once

#include "run/RunOptions.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

// Picks the output format and the opt-in run options. Every opening reloads
// the list and the stored values.
class frmOptions : public QDialog
{
    Q_OBJECT

public:
    explicit frmOptions(QWidget *parent = nullptr);

    int exec() override;

    // As the two boxes show them; in force once the dialog is confirmed.
    RunOptions runOptions() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void buildRunOptions();
    void fillFormatList();
    void selectCurrentFormat();
    void onOKButtonClicked();

    QPushButton *OKButton = nullptr;
    QComboBox *cboFormat = nullptr;
    QPushButton *CancelButton = nullptr;
    QLabel *Label1 = nullptr;
    QCheckBox *SkipUpToDate = nullptr;
    QCheckBox *KeepSubfolders = nullptr;
    RunOptions m_openedWith;

    // Parallel to the entries of cboFormat.
    QStringList FormatExtensions;
};
