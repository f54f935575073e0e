#pragma once

#include <QByteArray>
#include <QString>

// Lets tests make the worker fail the way a hostile document could, through
// LEAFMARK_WORKER_FAULT: "crash:<text>" or "hang:<text>" strikes on every input
// whose path holds <text>; "hold:<text>" pauses such a conversion once its input
// is open, for as long as a marker file it leaves exists, so that a test can
// change the file under the worker.
class FaultHook
{
public:
    explicit FaultHook(const QByteArray &setting);

    void strikeIfMeant(const QString &inputPath) const;
    void holdIfMeant(const QString &inputPath, const QString &markerPath) const;

private:
    enum class Fault { None, Crash, Hang, Hold };

    Fault m_fault = Fault::None;
    QString m_pathPart;
};
