#pragma once

#include <QByteArray>
#include <QString>

// Lets tests make the worker fail the way a hostile document could, through
// LEAFMARK_WORKER_FAULT: "crash:<text>" or "hang:<text>" strikes on every input
// whose path holds <text>.
class FaultHook
{
public:
    explicit FaultHook(const QByteArray &setting);

    void strikeIfMeant(const QString &inputPath) const;

private:
    enum class Fault { None, Crash, Hang };

    Fault m_fault = Fault::None;
    QString m_pathPart;
};
