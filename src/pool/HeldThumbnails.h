#pragma once

#include <QString>

#include <memory>

class QTemporaryDir;

// Finished thumbnails wait here, out of the workers' way, until the walk
// reaches their entries and they are put in place. A worker clears its own
// folder when its next request comes, so a thumbnail leaves it at once.
class HeldThumbnails
{
public:
    HeldThumbnails();
    ~HeldThumbnails();
    HeldThumbnails(const HeldThumbnails &) = delete;
    HeldThumbnails &operator=(const HeldThumbnails &) = delete;

    // Moves the worker's file in under a name of its own with the extension.
    // Returns where it is now, or "" and why it could not be moved.
    QString take(const QString &finishedFile, const QString &extension, QString *problem);

    // A held file not put in place is of no use any more.
    static void release(const QString &held);

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    quint64 m_count = 0;
};
