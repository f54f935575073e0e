#pragma once

#include <QString>
#include <QStringList>

// What the worker, and everything it starts, may still do once it has read
// nothing but its own start-up files: write only in its scratch folder, start
// only the given programs, open no socket, trace no process, change no file's
// metadata, make no namespace. Reading is narrowed per request, in the child
// that answers it. Each protection that the kernel lacks is left out; the rest
// still hold.
class Confinement
{
public:
    // Confines this process for good, and with it every process it starts
    // from now on. Call it while the process has one thread only.
    static Confinement apply(const QString &scratchPath, const QStringList &programs);

    // Once start-up has read its files: the same reading as restrictReading,
    // for this process, put in what the report says.
    void narrowReading(const QString &scratchPath, const QStringList &programs);

    // In the worker's main process, before the first request's child: what
    // each child puts in force is made here once.
    static void prepareRequestChildren();

    // In a request's child: neither it nor anything it starts may leave its
    // process group, so that killing the group ends all of them. The reason
    // it could not be done, or "".
    static QString keepProcessGroup();

    // From now on this process and all it starts read only what ImageMagick,
    // Ghostscript and potrace need and the scratch folder's working folder; a
    // document comes as a file already open. A child of a process that did it
    // already holds it. The reason it could not be done, or "".
    static QString restrictReading(const QString &scratchPath, const QStringList &programs);

    // In a request's child: from now on it and all it starts change nothing
    // outside the scratch folder's working folder, where the worker's main
    // process may still. The reason it could not be done, or "".
    static QString restrictWriting(const QString &scratchPath);

    // The dynamic loader of this program, and of the programs it starts.
    static QString dynamicLoader();

    // One line for standard error: what holds and what does not, and why.
    QString report() const;

private:
    void restrictFiles(const QString &scratchPath, const QStringList &programs);
    void filterSystemCalls();

    QStringList m_inForce;
    QStringList m_missing;
};
