#include "WorkerConverter.h"

#include <QCoreApplication>
#include <QProcess>

#include <utility>

WorkerConverter::WorkerConverter(QString workerPath) : m_workerPath(std::move(workerPath)) {}

WorkerConverter::~WorkerConverter() = default;

QString WorkerConverter::defaultWorkerPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/leafmark-worker");
}

void WorkerConverter::setTimeLimit(std::chrono::milliseconds limit)
{
    m_timeLimit = limit;
}

QString WorkerConverter::start()
{
    return QStringLiteral("not built yet");
}

ConversionResult WorkerConverter::Convert(const QStringList &)
{
    return {};
}

DecodedImage WorkerConverter::decodeImage(const QString &)
{
    return {};
}
