#pragma once

#include <QDialog>

// Title, version and the maker's web address.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

    int exec() override;
};
