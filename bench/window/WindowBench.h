#pragma once

#include "Clocks.h"
#include "ui/Leafmark.h"

#include <QString>

#include <chrono>

class Converter;
class ImageDecoder;

struct RunOutcome
{
    Stamp start;
    Stamp end;
    QString status;
    int rows = 0;
    bool cancelled = false;
};

// The program's main window, offscreen, driven as a user drives it: fill in the
// boxes, click "Create thumbnails".
class WindowBench
{
public:
    WindowBench(Converter &converter, ImageDecoder &decoder);

    // "" once the window has loaded and shows, or why it could not.
    QString open();
    // With a time limit, the run is cancelled as a user would: by a click on
    // the button once that time has passed.
    RunOutcome run(const QString &pdfFolder, const QString &imageFolder, const QString &width,
                   std::chrono::milliseconds timeLimit = {});

private:
    template <typename T> T *control(const char *name) const;

    Leafmark m_window;
};
