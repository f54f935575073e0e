#include "run/RunController.h"

#include "run/ControllerView.h"
#include "run/FolderWalk.h"
#include "run/NameLookup.h"
#include "settings/FormatTable.h"
#include "settings/StoredInputs.h"

RunController::RunController(ControllerView &view, Converter &converter)
    : m_view(view), m_converter(converter)
{
}

void RunController::onConvertClicked()
{
    m_view.setConvertEnabled(false);
    m_view.yieldPoint();
    if (m_view.isClosed())
        return;
    if (!m_view.isPdfPickerEnabled()) {
        m_cancelRequested = true;
        m_view.setStatusText(QStringLiteral("Canceling..."));
    } else {
        startRun();
        if (m_view.isClosed())
            return;
        if (m_quitRequested) {
            m_view.endProgram();
            return;
        }
    }
    m_view.setConvertEnabled(true);
}

// The inputs of the last run that found PDF files, and the format last chosen.
void RunController::loadStoredInputs()
{
    RunInputs inputs = StoredInputs::loadRunInputs();
    CurrentFormat = startupFormat(StoredInputs::loadImageFormat());
    if (inputs.thumbWidth.isEmpty())
        inputs.thumbWidth = QStringLiteral("88");
    m_view.showRunInputs(inputs);
}

bool RunController::onCloseRequested()
{
    if (m_view.isPdfPickerEnabled())
        return false;
    m_cancelRequested = true;
    m_quitRequested = true;
    m_view.setStatusText(QStringLiteral("Canceling..."));
    m_view.yieldPoint();
    return true;
}

bool RunController::CheckInputs()
{
    const QString pdfFolder = m_view.pdfFolderText();
    const QString imageFolder = m_view.imageFolderText();
    if (pdfFolder.isEmpty())
        return fail(QStringLiteral("Please, enter PDF's folder"), InputField::PdfFolder);
    if (imageFolder.isEmpty())
        return fail(QStringLiteral("Please, enter thumbsnail folder"), InputField::ImageFolder);
    if (m_view.heightText().isEmpty() && m_view.widthText().isEmpty())
        return fail(QStringLiteral("Set the with or the height of the thumbnail (or both)"),
                    InputField::Width);
    if (!nameExists(pdfFolder))
        return fail(QStringLiteral("PDF's folder doesn't exist"), InputField::PdfFolder);
    if (!nameExists(imageFolder))
        return fail(QStringLiteral("Images folder doesn't exist"), InputField::ImageFolder);
    return true;
}

bool RunController::fail(const QString &message, InputField field)
{
    m_view.setStatusText(message);
    m_view.focusField(field);
    return false;
}

void RunController::startRun()
{
    m_view.clearResults();
    m_view.setStatusText(QString());
    m_view.setStatusColour(StatusColour::Red);
    m_view.yieldPoint();
    if (m_view.isClosed() || !CheckInputs())
        return;

    m_view.setConvertEnabled(true);
    m_view.setConvertBold(true);
    m_view.setConvertCaption(QStringLiteral("Cancel!"));
    m_cancelRequested = false;
    m_view.setInputsEnabled(false);
    m_view.setStatusText(QStringLiteral("One moment please... working..."));

    qint64 fileCount = 0;
    FolderWalk(m_view, m_converter, m_cancelRequested, m_options)
        .FindFilesAPI(m_view.pdfFolderText(), QStringLiteral("*.pdf"), fileCount);
    reportOutcome(fileCount);

    m_view.setInputsEnabled(true);
    m_view.setConvertBold(false);
    m_view.setConvertCaption(QStringLiteral("Create thumbnails"));
}

void RunController::reportOutcome(qint64 fileCount)
{
    if (fileCount < 1) {
        m_view.setStatusText(QStringLiteral("Sorry, no PDF files found..."));
        return;
    }
    m_lastImageFolder = m_view.imageFolderText();
    m_view.setStatusColour(StatusColour::WindowText);
    m_view.setStatusText(QStringLiteral("Done. %1 PDF files found...").arg(fileCount));
    // One replacement of the file rather than four: each waits for the disk.
    StoredInputs::saveRunInputs(m_view.runInputs());
}
