#include "cli/CliView.h"

#include "cli/ProgressLine.h"
#include "run/OutputPath.h"

#include <QCoreApplication>

CliView::CliView(const CliRequest &request, ProgressLine &progress, std::FILE *output)
    : m_request(request), m_progress(progress), m_output(output)
{
}

void CliView::appendResultRow(qint64, const QString &text)
{
    m_pdfPath.clear();
    m_relativeOutput = text;
}

void CliView::describeResultRow(qint64, const QString &pdfPath, const QString &relativeOutput)
{
    m_pdfPath = pdfPath;
    m_relativeOutput = relativeOutput;
}

void CliView::markResultRow(qint64 position, bool succeeded, const QString &failureReason)
{
    ResultLine line;
    line.status = succeeded ? ResultLine::Status::Ok : ResultLine::Status::Failed;
    line.reason = failureReason;
    if (!succeeded)
        ++m_failed;
    write(position, line);
}

void CliView::markUpToDateRow(qint64 position)
{
    ResultLine line;
    line.status = ResultLine::Status::Skipped;
    line.reason = QStringLiteral("up to date");
    write(position, line);
}

void CliView::write(qint64 position, ResultLine line)
{
    line.pdfPath = m_pdfPath;
    line.thumbnailPath = outputFilePath(m_request.imageFolder, m_relativeOutput);
    const QByteArray text = m_request.json ? line.json() : line.tabSeparated();
    m_progress.erase();
    std::fwrite(text.constData(), 1, text.size(), m_output);
    // A script reading the lines as they come sees each PDF when it is done.
    std::fflush(m_output);
    m_progress.handled(position);
}

void CliView::runTotalKnown(qint64 total)
{
    m_progress.setTotal(total);
}

// Where the window lets a click through, a signal's pipe is read.
void CliView::yieldPoint()
{
    QCoreApplication::processEvents();
}

RunInputs CliView::runInputs() const
{
    return {m_request.pdfFolder, m_request.imageFolder, m_request.height, m_request.width};
}

void CliView::focusField(InputField field)
{
    switch (field) {
    case InputField::PdfFolder:
        m_optionAtFault = QStringLiteral("--pdf-folder");
        break;
    case InputField::ImageFolder:
        m_optionAtFault = QStringLiteral("--image-folder");
        break;
    case InputField::Width:
        m_optionAtFault = QStringLiteral("--width");
        break;
    }
}
