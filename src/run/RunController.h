#pragma once

#include "run/RunOptions.h"

#include <QString>

class ControllerView;
enum class InputField;
class Converter;

// The behaviour behind the run button and the window's close request.
class RunController
{
public:
    RunController(ControllerView &view, Converter &converter);

    void loadStoredInputs();
    // Starts a run when idle; asks the running one to stop otherwise.
    void onConvertClicked();
    // True refuses the close.
    bool onCloseRequested();
    bool CheckInputs();
    // For the runs started from now on.
    void setRunOptions(const RunOptions &options) { m_options = options; }
    RunOptions runOptions() const { return m_options; }

    bool CancelRequested() const { return m_cancelRequested; }
    bool QuitRequested() const { return m_quitRequested; }
    QString LastImageFolder() const { return m_lastImageFolder; }

private:
    void startRun();
    void reportOutcome(qint64 fileCount);
    bool fail(const QString &message, InputField field);

    ControllerView &m_view;
    Converter &m_converter;
    bool m_cancelRequested = false;
    bool m_quitRequested = false;
    QString m_lastImageFolder;
    RunOptions m_options;
};
