#pragma once

#include "Converter.h"
#include "ImageDecoder.h"
#include "WorkerLocation.h"
#include "WorkerProtocol.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>

class QProcess;
class QTemporaryDir;

// Converts and decodes in a worker process of our own, so that Ghostscript and
// the image coders never run inside the window's process. The worker is started
// once, reused for every file and started again when it dies or overruns the
// time limit.
class WorkerConverter : public Converter, public ImageDecoder
{
public:
    explicit WorkerConverter(QString workerPath = locateWorker());
    ~WorkerConverter() override;

    void setTimeLimit(std::chrono::milliseconds limit);

    QString start() override;
    ConversionResult Convert(const QStringList &arguments) override;
    DecodedImage decodeImage(const QString &path) override;

private:
    QString ensureRunning();
    QString launch();
    WorkerProtocol::Reply exchange(const WorkerProtocol::Request &request);
    WorkerProtocol::Reply lose(const QString &reason);
    static void removePartFiles(const QString &output, qint64 worker);
    void collectErrorOutput();
    void stopGently();
    void killAll();

    QString m_workerPath;
    std::chrono::milliseconds m_timeLimit{60000};
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QTemporaryDir> m_scratch;
    qint64 m_processGroup = 0;
    QByteArray m_errorOutput;
};
