#pragma once

#include "support/FakeConverter.h"
#include "support/RecordingDecoder.h"
#include "ui/Leafmark.h"
#include "ui/MessageBox.h"

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QTemporaryDir>

#include <memory>

class Converter;
class ImageDecoder;

// The main window as the tests drive it: its controls by their names, its
// four input boxes and its run button. A test class inherits it beside
// QObject and opens the window with the converter and decoder it needs, the
// fakes here or real ones. Message boxes are recorded, never shown
// (MessageBox::takeRecorded), so that none can block a test.
class WindowFixture
{
protected:
    WindowFixture();

    std::unique_ptr<Leafmark> m_window;
    FakeConverter m_converter;
    RecordingDecoder m_decoder;
    std::unique_ptr<QTemporaryDir> m_dir;

    // For a test's init(): fresh fakes, no settings file, nothing recorded, and
    // a new temporary tree of these entries (see fillTree).
    void startAfresh(const QStringList &entries);
    // For a test's cleanup(): the window goes, and the settings file with it,
    // even one made read-only or a folder.
    void closeAndForget();
    static void removeSettingsFile();
    // startAfresh with the tree most window tests use, and the window opened
    // on the fakes.
    void openOnTheUsualTree();
    // The tree's "pdfs" and "thumbs" folders.
    QString pdfs() const { return m_dir->path() + QStringLiteral("/pdfs"); }
    QString thumbs() const { return m_dir->path() + QStringLiteral("/thumbs"); }

    void openWindow(Converter &converter, ImageDecoder &decoder);
    // Loads the settings, shows the window and makes it the active one, as a
    // user starting the program finds it.
    void loadAndShow();

    template <typename T = QWidget> T *control(const char *name) const
    {
        T *widget = m_window->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    QLineEdit *box(const char *name) const { return control<QLineEdit>(name); }
    QPushButton *convert() const { return control<QPushButton>("Convert"); }
    QLabel *status() const { return control<QLabel>("lblError"); }
    QTableWidget *results() const { return control<QTableWidget>("lstResult"); }

    QColor statusColour() const { return status()->palette().color(QPalette::WindowText); }
    // A click or close as the user makes it: queued, handled at the next yield point.
    void postConvertClick() { QMetaObject::invokeMethod(convert(), "click", Qt::QueuedConnection); }
    void postClose() { QMetaObject::invokeMethod(m_window.get(), "close", Qt::QueuedConnection); }
    // The run button and every input as they are between runs.
    void verifyIdle();
    // The four stored inputs, joined by "|".
    static QString storedInputs();

    void fillInputs(const QString &pdfFolder, const QString &imageFolder,
                    const QString &width = QStringLiteral("88"), const QString &height = {});
    void clickConvert();
    // A key as the keyboard sends it: to the control that has the focus, or to
    // the active window when none has.
    void pressKey(Qt::Key key);
};
