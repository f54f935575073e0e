#pragma once

#include "cli/CliArguments.h"
#include "cli/ResultLine.h"
#include "run/ControllerView.h"

#include <QString>

#include <cstdio>

class ProgressLine;

// The run's view without a window: the inputs come from the command line,
// each handled PDF becomes a line on standard output, and the status text the
// window would show is kept for an error message.
class CliView : public ControllerView
{
public:
    CliView(const CliRequest &request, ProgressLine &progress, std::FILE *output = stdout);

    qint64 failedCount() const { return m_failed; }
    QString statusText() const { return m_statusText; }
    // The option holding the input the last failed check was about.
    QString optionAtFault() const { return m_optionAtFault; }

    QString imageFolderText() const override { return m_request.imageFolder; }
    QString widthText() const override { return m_request.width; }
    QString heightText() const override { return m_request.height; }
    QString currentFormat() const override { return m_request.format; }
    void appendResultRow(qint64 position, const QString &text) override;
    void selectAndRevealRow(qint64) override {}
    void markResultRow(qint64 position, bool succeeded, const QString &failureReason) override;
    void describeResultRow(qint64 position, const QString &pdfPath,
                           const QString &relativeOutput) override;
    void markUpToDateRow(qint64 position) override;
    void runTotalKnown(qint64 total) override;
    void yieldPoint() override;

    QString pdfFolderText() const override { return m_request.pdfFolder; }
    RunInputs runInputs() const override;
    void showRunInputs(const RunInputs &) override {}
    void setConvertEnabled(bool) override {}
    void setConvertBold(bool) override {}
    void setConvertCaption(const QString &) override {}
    bool isPdfPickerEnabled() const override { return true; }
    void setInputsEnabled(bool) override {}
    void clearResults() override {}
    void setStatusText(const QString &text) override { m_statusText = text; }
    void setStatusColour(StatusColour) override {}
    void focusField(InputField field) override;
    bool isClosed() const override { return false; }
    void endProgram() override {}

private:
    void write(qint64 position, ResultLine line);

    const CliRequest &m_request;
    ProgressLine &m_progress;
    std::FILE *m_output;
    QString m_pdfPath;
    QString m_relativeOutput;
    qint64 m_failed = 0;
    QString m_statusText;
    QString m_optionAtFault;
};
