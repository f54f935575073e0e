#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// Title, version and the maker's web address.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

    int exec() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void buildControls();
    QLabel *addLabel(const QString &name, const QRect &geometry);
    void openWebAddress();

    QPushButton *cmdOK = nullptr;
    QLabel *picIcon = nullptr;
    QLabel *lblDescription = nullptr;
    QLabel *lblDisclaimer = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *Label1 = nullptr;
};
