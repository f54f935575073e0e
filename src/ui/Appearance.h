#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>

class QDialog;
class QWidget;

// What every window of the program shares: its font, icon and background.
namespace Appearance {

// "Segoe UI" where the system has it, Open Sans (Debian's fonts-open-sans) otherwise.
QFont font(qreal points = 8.25, bool bold = false);
QIcon applicationIcon();

// Drawn from SVG, so that the pictures stay sharp at any scale factor.
QIcon checkIcon();
QIcon crossIcon();
QPixmap samplePage();

// Light text on a dark window: a dark desktop palette.
bool isDark(const QPalette &palette);
// The near-white background of the drawing under a light palette; under a
// dark one the palette's own window, so that its light text reads.
void useWindowBackground(QWidget *widget);
// The status line's red: pure red on the light window, and on a dark one a
// lighter red that reads against it.
QColor statusRed(const QPalette &palette);
// The program's dialogs: a form of fixed size on the window background, or
// the preview, a picture on the plain background of a view.
enum class DialogKind { Form, Picture };
// Gives the dialog its name, its title bar with only a close button, the
// application icon, the font and its background.
void setUpDialog(QDialog *dialog, const QString &objectName, DialogKind kind);

// Contrast of two colours as the Web Content Accessibility Guidelines count it, 1 to 21.
double contrastRatio(const QColor &first, const QColor &second);

} // namespace Appearance
