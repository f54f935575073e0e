#include "hooks/FaultHook.h"

#include <QFile>

#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Hangs in a child process, as a Ghostscript that never finishes would, so
// that the child has to be taken down along with the worker.
[[noreturn]] void hangInChild()
{
    const pid_t child = ::fork();
    if (child == 0) {
        for (;;)
            ::pause();
    }
    ::waitpid(child, nullptr, 0);
    for (;;)
        ::pause();
}

} // namespace

FaultHook::FaultHook(const QByteArray &setting)
{
    const QString text = QString::fromLocal8Bit(setting);
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == text.size() - 1)
        return;
    const QString kind = text.left(colon);
    if (kind == QLatin1String("crash"))
        m_fault = Fault::Crash;
    else if (kind == QLatin1String("hang"))
        m_fault = Fault::Hang;
    else if (kind == QLatin1String("hold"))
        m_fault = Fault::Hold;
    m_pathPart = text.mid(colon + 1);
}

void FaultHook::strikeIfMeant(const QString &inputPath) const
{
    if (m_fault == Fault::None || m_fault == Fault::Hold || !inputPath.contains(m_pathPart))
        return;
    if (m_fault == Fault::Crash)
        std::abort();
    hangInChild();
}

void FaultHook::holdIfMeant(const QString &inputPath, const QString &markerPath) const
{
    if (m_fault != Fault::Hold || !inputPath.contains(m_pathPart))
        return;
    QFile marker(markerPath);
    if (!marker.open(QIODevice::WriteOnly))
        return;
    marker.close();
    for (int waited = 0; waited < 2000 && QFile::exists(markerPath); ++waited)
        ::usleep(10000);
}
