#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QPushButton;

// Picks the output format. Every opening reloads the list and the stored value.
class frmOptions : public QDialog
{
    Q_OBJECT

public:
    explicit frmOptions(QWidget *parent = nullptr);

    int exec() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void fillFormatList();
    void selectCurrentFormat();
    void onOKButtonClicked();

    QPushButton *OKButton = nullptr;
    QComboBox *cboFormat = nullptr;
    QPushButton *CancelButton = nullptr;
    QLabel *Label1 = nullptr;

    // Parallel to the entries of cboFormat.
    QStringList FormatExtensions;
};
