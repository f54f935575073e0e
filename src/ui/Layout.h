#pragma once

#include <QColor>
#include <QLine>
#include <QRect>
#include <QSize>

// Every window's geometry, in twips as the layout was drawn (15 twips are one
// pixel at 96 dots per inch), so that it can be read against the drawing.
namespace Layout {

constexpr int px(int twips)
{
    return (twips + 7) / 15;
}
constexpr QRect rect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}
constexpr QSize size(int width, int height)
{
    return QSize(px(width), px(height));
}
constexpr QLine line(int x1, int y1, int x2, int y2)
{
    return QLine(px(x1), px(y1), px(x2), px(y2));
}

// Near-white grey shared by the main window and the dialogs.
inline const QColor Background(250, 248, 249);

namespace Main {
constexpr QSize Client = size(11790, 4920);
constexpr QRect txtPDFfolder = rect(2040, 480, 4935, 285);
constexpr QRect btnExplorerPDF = rect(7080, 480, 315, 315);
constexpr QRect txtImageFolder = rect(2040, 960, 4935, 285);
constexpr QRect btnExplorerImage = rect(7080, 960, 315, 315);
constexpr QRect txtWidth = rect(6360, 1500, 495, 285);
constexpr QRect txtHeight = rect(5160, 2700, 495, 285);
constexpr QRect Label1 = rect(840, 480, 1095, 255);
constexpr QRect Convert = rect(5880, 3840, 1455, 495);
constexpr QRect Label2 = rect(240, 960, 1695, 255);
constexpr QRect Label3 = rect(6900, 1560, 195, 255);
constexpr QRect Label4 = rect(5700, 2760, 255, 255);
constexpr QRect lblError = rect(180, 4500, 7155, 255);
constexpr QRect Help = rect(180, 1440, 4695, 2835);
constexpr QRect lblExplain = rect(240, 360, 4215, 2175); // inside Help
constexpr QRect lstResult = rect(7560, 60, 4155, 4755);
constexpr int ResultsColumnWidth = px(4155 - 300);
constexpr QRect imgThumb = rect(5940, 1860, 1350, 1905);
constexpr QLine Line1 = line(5940, 1680, 6300, 1680);
constexpr QLine Line2 = line(7140, 1680, 7260, 1680);
constexpr QLine Line3 = line(5760, 1860, 5760, 2760);
constexpr QLine Line4 = line(5760, 3750, 5760, 3000);
} // namespace Main

namespace Options {
constexpr QSize Client = size(6825, 1170);
constexpr QRect OKButton = rect(5400, 120, 1215, 375);
constexpr QRect cboFormat = rect(1500, 180, 3615, 315);
constexpr QRect CancelButton = rect(5400, 600, 1215, 375);
constexpr QRect Label1 = rect(240, 180, 1095, 255);
} // namespace Options

namespace Thumb {
constexpr QPoint imgThumb = QPoint(px(60), px(120));
// Added to the picture's size to give the window's outer size.
constexpr QSize OuterExtra = size(250, 700);
} // namespace Thumb

namespace About {
constexpr QSize Client = size(5940, 3180);
constexpr QRect cmdOK = rect(4320, 2625, 1500, 405);
constexpr QRect picIcon = rect(240, 240, 780, 780);
constexpr QRect lblDescription = rect(1050, 1125, 3885, 330);
constexpr QRect lblDisclaimer = rect(240, 2625, 3870, 405);
constexpr QRect lblTitle = rect(1050, 240, 3885, 480);
constexpr QRect lblVersion = rect(1050, 780, 3885, 225);
constexpr QRect Label1 = rect(1020, 1680, 2175, 435);
// The etched separator: a grey line of one pixel over a white one of two.
constexpr QLine LineGrey = line(90, 2445, 5654, 2445);
constexpr QLine LineWhite = line(105, 2460, 5654, 2460);
} // namespace About

} // namespace Layout
