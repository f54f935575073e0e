#pragma once

#include "run/WalkView.h"
#include "settings/StoredInputs.h"

enum class InputField { PdfFolder, ImageFolder, Width };
enum class StatusColour { Red, WindowText };

// The controls of the main window that the run controller drives, on top of
// what the walk needs.
class ControllerView : public WalkView
{
public:
    virtual QString pdfFolderText() const = 0;
    // The four text boxes.
    virtual RunInputs runInputs() const = 0;
    virtual void showRunInputs(const RunInputs &inputs) = 0;

    virtual void setConvertEnabled(bool enabled) = 0;
    virtual void setConvertBold(bool bold) = 0;
    virtual void setConvertCaption(const QString &caption) = 0;

    // A run is in progress exactly while the PDF folder picker is disabled.
    virtual bool isPdfPickerEnabled() const = 0;
    // The four text boxes and both pickers; disabled in box-then-picker order,
    // enabled in picker-then-box order.
    virtual void setInputsEnabled(bool enabled) = 0;

    virtual void clearResults() = 0;
    virtual void setStatusText(const QString &text) = 0;
    virtual void setStatusColour(StatusColour colour) = 0;
    virtual void focusField(InputField field) = 0;

    // True once the window was closed at a yield point before the run began.
    virtual bool isClosed() const = 0;
    // Ends the program at once, without another close request.
    virtual void endProgram() = 0;
};
