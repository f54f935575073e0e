#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QPushButton;

// Picks the output format. Every opening reloads the list and the stored value.
class frmOptions : public QDialog
{
    Q_OBJECT

public:
    explicit frmOptions(QWidget *parent = nullptr);

    int exec() override;

private:
    QStringList FormatExtensions;
};
