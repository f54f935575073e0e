#pragma once

#include "run/ControllerView.h"
#include "run/RunController.h"
#include "ui/DesktopProgress.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class Converter;
class ImageDecoder;
class QLabel;
class QLineEdit;
class QPushButton;
class QShortcut;
class ResultList;
class StatusLine;
class frmAbout;
class frmOptions;
class frmThumb;

// The main window: the four inputs, the run button, the status line and the
// results list.
class Leafmark final : public QMainWindow, private ControllerView
{
    Q_OBJECT

public:
    Leafmark(Converter &converter, ImageDecoder &decoder);
    ~Leafmark() override;

    // The start-up steps. False when the converter could not be created; the
    // error has been shown then and the window must not be.
    bool load();

    RunController &runController() { return m_controller; }
    DesktopProgress &desktopProgress() { return m_desktop; }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void armMenuBar();
    void leaveMenuBar();
    void connectHandlers();
    void pickFolder(QLineEdit *box, const QString &title);
    void showOptions();
    void showAbout();
    void showPreview();
    void nameControlsForScreenReaders();
    QString resultsFolder() const;
    QString selectedRowFolder() const;
    void reportRunToDesktop(bool running);
    void applyStatusColour(StatusColour colour);
    void cancelByKey();

    // WalkView
    QString imageFolderText() const override;
    QString widthText() const override;
    QString heightText() const override;
    void appendResultRow(qint64 position, const QString &text) override;
    void selectAndRevealRow(qint64 position) override;
    void markResultRow(qint64 position, bool succeeded, const QString &failureReason) override;
    void describeResultRow(qint64 position, const QString &pdfPath,
                           const QString &relativeOutput) override;
    void markUpToDateRow(qint64 position) override;
    void runTotalKnown(qint64 total) override;
    void yieldPoint() override;
    QString currentFormat() const override;

    // ControllerView
    QString pdfFolderText() const override;
    RunInputs runInputs() const override;
    void showRunInputs(const RunInputs &inputs) override;
    void setConvertEnabled(bool enabled) override;
    void setConvertBold(bool bold) override;
    void setConvertCaption(const QString &caption) override;
    bool isPdfPickerEnabled() const override;
    void setInputsEnabled(bool enabled) override;
    void clearResults() override;
    void setStatusText(const QString &text) override;
    void setStatusColour(StatusColour colour) override;
    void focusField(InputField field) override;
    bool isClosed() const override;
    void endProgram() override;

    Converter &m_converter;
    ImageDecoder &m_decoder;
    RunController m_controller;
    bool m_closed = false;
    bool m_ending = false;
    // Convert had the focus when it was disabled; it gets it back when enabled.
    bool m_convertKeepsFocus = false;

    QLineEdit *txtPDFfolder = nullptr;
    QLineEdit *txtImageFolder = nullptr;
    QLineEdit *txtWidth = nullptr;
    QLineEdit *txtHeight = nullptr;
    QPushButton *btnExplorerPDF = nullptr;
    QPushButton *btnExplorerImage = nullptr;
    QPushButton *Convert = nullptr;
    StatusLine *lblError = nullptr;
    QLabel *lblExplain = nullptr;
    ResultList *lstResult = nullptr;
    DesktopProgress m_desktop;
    QShortcut *m_cancelKey = nullptr;
    // Where the focus goes back to once F10 has walked the menu bar.
    QPointer<QWidget> m_focusBeforeMenuBar;

    std::unique_ptr<frmOptions> m_options;
    std::unique_ptr<frmAbout> m_about;
    std::unique_ptr<frmThumb> m_thumb;
};
