#include "worker/LyingResult.h"

#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Past what the window takes, within what the worker may write.
constexpr off_t hugeSize = off_t(1) << 30;

void makeHuge(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    static const char png[] = "\x89PNG\r\n\x1a\n";
    if (::write(fd, png, sizeof png - 1) <= 0 || ::ftruncate(fd, hugeSize) != 0)
        std::perror("leafmark-worker: no huge file");
    ::close(fd);
}

} // namespace

LyingResult::LyingResult(const QByteArray &setting)
{
    const qsizetype colon = setting.indexOf(':');
    m_kind = colon < 0 ? setting : setting.left(colon);
    m_target = colon < 0 ? QByteArray() : setting.mid(colon + 1);
}

void LyingResult::replace(const QString &resultPath) const
{
    const QByteArray path = QFile::encodeName(resultPath);
    if (m_kind.isEmpty() || ::access(path.constData(), F_OK) != 0)
        return;
    ::unlink(path.constData());
    if (m_kind == "link") {
        if (::symlink(m_target.constData(), path.constData()) != 0)
            std::perror("leafmark-worker: no link");
    } else if (m_kind == "folder")
        ::mkdir(path.constData(), 0700);
    else if (m_kind == "fifo")
        ::mkfifo(path.constData(), 0600);
    else if (m_kind == "huge")
        makeHuge(path);
}
