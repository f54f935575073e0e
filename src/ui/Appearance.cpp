#include "ui/Appearance.h"

#include "ui/Layout.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

#include <cmath>

namespace Appearance {

namespace {

// Enough for the status line's bold text on any background (the guidelines' AA level).
constexpr double ReadableContrast = 4.5;

double relativeLuminance(const QColor &colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

// At the window's own scale factor, or that of the sharpest screen.
QPixmap drawn(const QString &svg, QSize size)
{
    return QIcon(svg).pixmap(size, qApp->devicePixelRatio());
}

} // namespace

QFont font(qreal points, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("Open Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QIcon applicationIcon()
{
    return QIcon(QStringLiteral(":/leafmark/leafmark.svg"));
}

QIcon checkIcon()
{
    return QIcon(QStringLiteral(":/leafmark/check.svg"));
}

QIcon crossIcon()
{
    return QIcon(QStringLiteral(":/leafmark/cross.svg"));
}

QPixmap samplePage()
{
    return drawn(QStringLiteral(":/leafmark/sample-page.svg"), QSize(88, 125));
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::WindowText).lightness() >
           palette.color(QPalette::Window).lightness();
}

void useWindowBackground(QWidget *widget)
{
    if (!isDark(widget->palette())) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, Layout::Background);
        widget->setPalette(palette);
    }
    widget->setAutoFillBackground(true);
}

void setUpDialog(QDialog *dialog, const QString &objectName, DialogKind kind)
{
    dialog->setObjectName(objectName);
    Qt::WindowFlags flags =
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (kind == DialogKind::Form)
        flags |= Qt::MSWindowsFixedSizeDialogHint;
    dialog->setWindowFlags(flags);
    dialog->setWindowIcon(applicationIcon());
    if (kind == DialogKind::Picture) {
        QPalette background = dialog->palette();
        background.setColor(QPalette::Window, background.color(QPalette::Base));
        dialog->setPalette(background);
        dialog->setAutoFillBackground(true);
        return;
    }
    dialog->setFont(font());
    useWindowBackground(dialog);
}

QColor statusRed(const QPalette &palette)
{
    QColor red(255, 0, 0);
    if (!isDark(palette))
        return red;
    const QColor background = palette.color(QPalette::Window);
    for (int lighter = 0; lighter <= 255 && contrastRatio(red, background) < ReadableContrast;
         lighter += 5)
        red.setRgb(255, lighter, lighter);
    return red;
}

double contrastRatio(const QColor &first, const QColor &second)
{
    const double a = relativeLuminance(first);
    const double b = relativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

} // namespace Appearance
