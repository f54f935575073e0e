#include "WindowBench.h"

#include "settings/FormatTable.h"
#include "ui/MessageBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

WindowBench::WindowBench(Converter &converter, ImageDecoder &decoder) : m_window(converter, decoder)
{
}

QString WindowBench::open()
{
    MessageBox::recordInsteadOfShowing(true);
    if (!m_window.load())
        return MessageBox::takeRecorded().join(QLatin1Char('\n'));
    // The settings file beside this program may hold another format.
    CurrentFormat = QStringLiteral("png");
    m_window.show();
    QApplication::processEvents();
    return QString();
}

RunOutcome WindowBench::run(const QString &pdfFolder, const QString &imageFolder,
                            const QString &width, std::chrono::milliseconds timeLimit)
{
    control<QLineEdit>("txtPDFfolder")->setText(pdfFolder);
    control<QLineEdit>("txtImageFolder")->setText(imageFolder);
    control<QLineEdit>("txtWidth")->setText(width);
    control<QLineEdit>("txtHeight")->clear();
    QApplication::processEvents();

    RunOutcome outcome;
    QPushButton *button = control<QPushButton>("Convert");
    QTimer cancel;
    cancel.setSingleShot(true);
    QObject::connect(&cancel, &QTimer::timeout, button, [button, &outcome] {
        outcome.cancelled = true;
        button->click();
    });
    if (timeLimit.count() > 0)
        cancel.start(timeLimit);
    outcome.start = Stamp::now();
    button->click();
    outcome.end = Stamp::now();
    outcome.status = control<QLabel>("lblError")->text();
    outcome.rows = control<QAbstractItemView>("lstResult")->model()->rowCount();
    return outcome;
}

template <typename T> T *WindowBench::control(const char *name) const
{
    T *widget = m_window.findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("The main window has no control %s", name);
    return widget;
}
