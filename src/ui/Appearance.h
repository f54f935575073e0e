#pragma once

#include <QFont>
#include <QIcon>

class QWidget;

// What every window of the program shares: its font, icon and background.
namespace Appearance {

// "Segoe UI" where the system has it, Open Sans (Debian's fonts-open-sans) otherwise.
QFont font(qreal points = 8.25, bool bold = false);
QIcon applicationIcon();
void useWindowBackground(QWidget *widget);

} // namespace Appearance
