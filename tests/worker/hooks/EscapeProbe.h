#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Built into the tests' worker only. For every input whose path holds the
// marker it tries, from inside the worker, what a document that took over
// Ghostscript would try. LEAFMARK_WORKER_ESCAPE holds one "key=value" a line:
// on=<marker>, create=<folder> (any number), tcp=<port> and udp=<port> on
// 127.0.0.1, unix=<socket path>, run=<program>; read=<file> (any number);
// chmod=, chown=, touch= and xattr=<file>, whose metadata it tries to change;
// loader=<program>, started through the dynamic loader, and memfd=<program>,
// started from a copy in memory, both with "--version"; unshare=1, for new
// user namespaces; limit=1, for lifting the memory limit; sockets=1, for a
// socket it inherited; lease=1, for a lease or lock on any descriptor it
// holds; ioctl=1, for an ioctl on /dev/urandom; userfaultfd=1, through its
// device; fill=1, for a file past 2 GiB in TMPDIR; forks=<n>, for n processes
// at once; leave=1, for a process left behind after the reply, and
// leavegroup=1, for one that also leaves its process group; renderer=1, for
// descriptors other than its standard streams in the renderer; in=main, to
// act in the worker's main process instead of a request's child;
// env=<name>, for a variable of the window's environment.
class EscapeProbe
{
public:
    explicit EscapeProbe(const QByteArray &setting);

    // What got through, or "" when everything was refused.
    QString operator()(const QString &inputPath) const;
    // In the renderer, before Ghostscript runs; what got through waits in
    // TMPDIR for the request's own probe.
    void actAsRenderer() const;
    bool actsInMain() const { return m_inMain; }

private:
    QString tryCreating(const QString &folder) const;
    QString tryInternet(int type, quint16 port) const;
    QString tryUnixSocket(const QString &path) const;
    QString tryRunning(const QString &program) const;
    QString tryReading(const QString &path) const;
    QString tryChangingMetadata() const;
    QString tryRunningThroughLoader(const QString &program) const;
    QString tryRunningFromMemory(const QString &program) const;
    QString tryNamespaces() const;
    QString tryRaisingMemoryLimit() const;
    QString tryHoldingSockets() const;
    QString tryLeasing() const;
    QString tryDeviceIoctl() const;
    QString tryUserfaultfd() const;
    QString tryFillingDisk() const;
    QString tryForking() const;
    QString tryLeavingBehind() const;
    QString tryReachingFinished() const;
    QString whatTheRendererGot() const;
    QString tryEnvironment() const;

    QString m_marker;
    QStringList m_folders;
    quint16 m_tcpPort = 0;
    quint16 m_udpPort = 0;
    QString m_unixSocket;
    QString m_program;
    QStringList m_readTargets;
    QString m_chmodTarget;
    QString m_chownTarget;
    QString m_touchTarget;
    QString m_xattrTarget;
    QString m_loaderProgram;
    QString m_memfdProgram;
    bool m_unshare = false;
    bool m_limit = false;
    bool m_sockets = false;
    bool m_lease = false;
    bool m_ioctl = false;
    bool m_userfaultfd = false;
    bool m_fill = false;
    int m_forks = 0;
    bool m_leave = false;
    bool m_leaveGroup = false;
    bool m_finished = false;
    bool m_renderer = false;
    bool m_inMain = false;
    QByteArray m_variable;
};
