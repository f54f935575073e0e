#include "Appearance.h"

#include "Layout.h"

#include <QWidget>

namespace Appearance {

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
    return QIcon(QStringLiteral(":/leafmark/leafmark.png"));
}

void useWindowBackground(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Layout::Background);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace Appearance
