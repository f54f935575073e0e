#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

class ImageDecoder;
class QLabel;

// Shows one thumbnail at its natural size, in a window sized to it.
class frmThumb : public QDialog
{
    Q_OBJECT

public:
    // Returned by exec() when the window closed itself while loading: the file
    // could not be loaded, the user has been told, the window was never shown.
    static constexpr int ClosedWhileLoading = 364;

    explicit frmThumb(ImageDecoder &decoder, QWidget *parent = nullptr);

    void setImgPath(const QString &path);
    int exec() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void applyOuterSize();

    ImageDecoder &m_decoder;
    QString m_imgPath;
    QLabel *imgThumb = nullptr;
    // Frame and title bar included.
    QSize m_outerSize;
};
