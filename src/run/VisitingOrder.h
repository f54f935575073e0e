#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <dirent.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

// The name held in a fixed directory-entry field ends at its first NUL.
QByteArray StripNulls(QByteArray &OriginalStr);

// "." and "..": listed in every folder, never an entry of its own.
bool isDotEntry(const QByteArray &name);

// The order in which a walk meets a folder tree, one step at a time: each
// folder's entries as its subfolder pass lists them, then its entries that
// match the pattern in the file system's order, then each subfolder in the
// order the first pass met it, with everything below it. A folder is entered
// once however many links lead to it. The walk and the look-ahead that
// predicts it both go by this one definition.
class VisitingOrder
{
public:
    enum class Step {
        // The subfolder pass met an entry; the walk yields before it is looked at.
        ListedEntry,
        // The file pass met an entry matching the pattern: see folder() and name().
        MatchingEntry,
        // The next step enters the subfolder(); a cancelled walk stops here.
        EnteringSubfolder,
        End,
    };

    // A folder by its bytes, for the file system, and as text, for the converter.
    struct Folder
    {
        QByteArray native;
        QString path;
    };

    // root ends in "/".
    VisitingOrder(const QString &root, QString pattern);
    ~VisitingOrder();

    Step next();

    // The folder of the entry in hand, or the subfolder about to be entered.
    const Folder &folder() const;
    // The name of the matching entry in hand, as its bytes.
    const QByteArray &name() const { return m_name; }

private:
    struct Frame;

    void enter(Folder folder);
    void classifyPendingEntry(Frame &frame);
    std::optional<Step> stepThroughSubfolderPass(Frame &frame);
    std::optional<Step> stepThroughFilePass(Frame &frame);
    std::optional<Step> stepThroughDescent(Frame &frame);

    QString m_pattern;
    std::vector<std::unique_ptr<Frame>> m_frames;
    std::optional<Folder> m_folderToEnter;
    QByteArray m_name;
    // Device and inode of every folder entered so far: a link cycle ends here.
    QSet<std::pair<quint64, quint64>> m_enteredFolders;
};
