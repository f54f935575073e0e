#pragma once

#include <QDialog>
#include <QString>

class ImageDecoder;
class QLabel;

// Shows one thumbnail at its natural size.
class frmThumb : public QDialog
{
    Q_OBJECT

public:
    // Returned by exec() when the window closed itself while loading.
    static constexpr int ClosedWhileLoading = 364;

    explicit frmThumb(ImageDecoder &decoder, QWidget *parent = nullptr);

    void setImgPath(const QString &path);
    int exec() override;

private:
    ImageDecoder &m_decoder;
    QString m_imgPath;
};
