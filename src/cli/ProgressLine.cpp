#include "cli/ProgressLine.h"

#include <cstdio>
#include <unistd.h>

namespace {

void writeToTerminal(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

QString duration(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60);
}

} // namespace

ProgressLine::ProgressLine() : m_shown(::isatty(STDERR_FILENO) == 1) {}

void ProgressLine::start()
{
    m_clock.start();
}

ProgressLine::~ProgressLine()
{
    if (m_clock.isValid())
        erase();
}

void ProgressLine::handled(qint64 count)
{
    if (m_shown)
        writeToTerminal(QLatin1Char('\r') + text(count) + QLatin1String("\x1b[K"));
}

void ProgressLine::erase()
{
    if (m_shown)
        writeToTerminal(QStringLiteral("\r\x1b[K"));
}

QString ProgressLine::text(qint64 count) const
{
    const double seconds = qMax<qint64>(m_clock.elapsed(), 1) / 1000.0;
    const double rate = count / seconds;
    const qint64 total = m_total;
    QString line = total < 0 ? QStringLiteral("%1 PDFs").arg(count)
                             : QStringLiteral("%1 of %2 PDFs").arg(count).arg(total);
    line += QStringLiteral(", %1 per second").arg(rate, 0, 'f', 1);
    if (total >= count && rate > 0)
        line += QStringLiteral(", %1 left").arg(duration(qRound64((total - count) / rate)));
    return line;
}
