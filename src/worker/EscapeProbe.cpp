#include "worker/EscapeProbe.h"

#include <QFile>

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

EscapeProbe::EscapeProbe(const QByteArray &setting)
{
    for (const QByteArray &line : setting.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = line.left(equals);
        const QString value = QFile::decodeName(line.mid(equals + 1));
        if (key == "on")
            m_marker = value;
        else if (key == "create")
            m_folders << value;
        else if (key == "tcp")
            m_tcpPort = value.toUShort();
        else if (key == "udp")
            m_udpPort = value.toUShort();
        else if (key == "unix")
            m_unixSocket = value;
        else if (key == "run")
            m_program = value;
    }
}

QString EscapeProbe::operator()(const QString &inputPath) const
{
    if (m_marker.isEmpty() || !inputPath.contains(m_marker))
        return QString();
    QStringList escapes;
    for (const QString &folder : m_folders)
        escapes << tryCreating(folder);
    if (m_tcpPort != 0)
        escapes << tryInternet(SOCK_STREAM, m_tcpPort);
    if (m_udpPort != 0)
        escapes << tryInternet(SOCK_DGRAM, m_udpPort);
    if (!m_unixSocket.isEmpty())
        escapes << tryUnixSocket(m_unixSocket);
    if (!m_program.isEmpty())
        escapes << tryRunning(m_program);
    escapes.removeAll(QString());
    return escapes.join(QStringLiteral("; "));
}

QString EscapeProbe::tryCreating(const QString &folder) const
{
    const QString path = folder + QStringLiteral("/leafmark-escaped");
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return QString();
    ::close(fd);
    return QStringLiteral("created %1").arg(path);
}

QString EscapeProbe::tryInternet(int type, quint16 port) const
{
    const QString kind = type == SOCK_STREAM ? QStringLiteral("TCP") : QStringLiteral("UDP");
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return QString();
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::send(fd, "escaped", 7, 0) == 7;
    ::close(fd);
    return QStringLiteral("opened a %1 socket%2").arg(kind, connected ? " and sent" : "");
}

QString EscapeProbe::tryUnixSocket(const QString &path) const
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return QString();
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::strncpy(address.sun_path, name.constData(), sizeof address.sun_path - 1);
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return QStringLiteral("opened a UNIX socket%1").arg(connected ? " and connected" : "");
}

QString EscapeProbe::tryRunning(const QString &program) const
{
    const QByteArray path = QFile::encodeName(program);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(path.constData(), path.constData(), "-c", "exit 0", nullptr);
        ::_exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return QString();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return QStringLiteral("started %1").arg(program);
    return QString();
}
