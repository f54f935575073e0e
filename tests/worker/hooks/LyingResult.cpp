#include "hooks/LyingResult.h"

#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr off_t mebibyte = 1024 * 1024;
// Past what the window takes, within what the worker may write.
constexpr off_t hugeSize = off_t(1) << 30;
// A flood stops here should nothing stop it before.
constexpr qint64 floodLimit = qint64(1) << 30;

void makeSparse(const QByteArray &path, off_t size)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    static const char png[] = "\x89PNG\r\n\x1a\n";
    if (::write(fd, png, sizeof png - 1) <= 0 || ::ftruncate(fd, size) != 0)
        std::perror("leafmark-worker: no huge file");
    ::close(fd);
}

// Where the real reply goes, found as a document would find it: the first
// pipe past the standard streams open for writing only.
int replyDescriptor()
{
    for (int fd = 3; fd < 1024; ++fd) {
        struct stat status = {};
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0 && (flags & O_ACCMODE) == O_WRONLY && ::fstat(fd, &status) == 0 &&
            S_ISFIFO(status.st_mode))
            return fd;
    }
    return -1;
}

// In one write where it fits in a pipe's atomic size, so that the window's
// process gets it all at once.
void writeRepeatedly(int fd, const QByteArray &bytes, qint64 total)
{
    for (qint64 written = 0; written < total;) {
        const ssize_t put = ::write(fd, bytes.constData(), size_t(bytes.size()));
        if (put <= 0)
            return;
        written += put;
    }
}

QByteArray framedReply(quint64 token, const QString &text, const QString &failure = QString())
{
    WorkerProtocol::Reply reply;
    reply.token = token;
    reply.text = text;
    reply.failure = failure;
    return WorkerProtocol::frame(WorkerProtocol::encodeReply(reply));
}

} // namespace

LyingResult::LyingResult(const QByteArray &setting)
{
    const qsizetype colon = setting.indexOf(':');
    m_kind = colon < 0 ? setting : setting.left(colon);
    m_target = colon < 0 ? QByteArray() : setting.mid(colon + 1);
}

void LyingResult::replace(const WorkerProtocol::Request &request, const QString &resultPath) const
{
    const QByteArray path = QFile::encodeName(resultPath);
    const QString name = request.job.input.mid(request.job.input.lastIndexOf(u'/') + 1);
    if (m_kind.isEmpty() || name.startsWith(QLatin1String("honest")) ||
        ::access(path.constData(), F_OK) != 0)
        return;
    replaceFile(path);
    sayMore(request);
    if (m_kind == "scratch") {
        const QString folder = resultPath.left(resultPath.lastIndexOf(u'/'));
        const QByteArray reason = framedReply(
            request.token, QString(),
            QStringLiteral("cache resources exhausted `%1/magick-1234' @ error").arg(folder));
        writeRepeatedly(replyDescriptor(), reason, reason.size());
        ::_exit(0);
    }
}

bool LyingResult::speaksForTheWorker() const
{
    return m_kind == "twice" || m_kind == "another" || m_kind == "flood";
}

void LyingResult::replaceFile(const QByteArray &path) const
{
    if (m_kind == "link") {
        ::unlink(path.constData());
        if (::symlink(m_target.constData(), path.constData()) != 0)
            std::perror("leafmark-worker: no link");
    } else if (m_kind == "folder") {
        ::unlink(path.constData());
        ::mkdir(path.constData(), 0700);
    } else if (m_kind == "fifo") {
        ::unlink(path.constData());
        ::mkfifo(path.constData(), 0600);
    } else if (m_kind == "huge") {
        makeSparse(path, hugeSize);
    } else if (m_kind == "sparse") {
        makeSparse(path, m_target.toLongLong() * mebibyte);
    } else if (m_kind == "nothing") {
        ::unlink(path.constData());
    }
}

void LyingResult::sayMore(const WorkerProtocol::Request &request) const
{
    const int replies = replyDescriptor();
    const qint64 size = m_target.toLongLong() * mebibyte;
    if (m_kind == "twice") {
        const QByteArray done = framedReply(request.token, QStringLiteral("PDF"));
        writeRepeatedly(replies, done + done, 2 * done.size());
    } else if (m_kind == "another") {
        const QByteArray done = framedReply(request.token + 1, QStringLiteral("PDF"));
        writeRepeatedly(replies, done, done.size());
    } else if (m_kind == "flood") {
        writeRepeatedly(replies, framedReply(request.token, QStringLiteral("PDF")).repeated(2000),
                        floodLimit);
    } else if (m_kind == "reason") {
        const QByteArray reason = framedReply(request.token, QString(), QString(size, u'x'));
        writeRepeatedly(replies, reason, reason.size());
        // In place of the real reply.
        ::_exit(0);
    } else if (m_kind == "stderr") {
        writeRepeatedly(STDERR_FILENO, QByteArray(64 * 1024, 'e'), size);
    }
}
