#include "run/VisitingOrder.h"

#include "run/NameLookup.h"

#include <QFile>

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>

namespace {

struct DirCloser
{
    void operator()(DIR *dir) const { closedir(dir); }
};
using Listing = std::unique_ptr<DIR, DirCloser>;

Listing openListing(const QByteArray &nativePath)
{
    return Listing(opendir(nativePath.constData()));
}

// The C library packs each entry only as long as its name, padded: the field
// ends with its record, not at its declared size, and the name at its NUL.
QByteArray entryName(const dirent *entry)
{
    const size_t recordField = entry->d_reclen - offsetof(dirent, d_name);
    QByteArray field(entry->d_name, qsizetype(std::min(recordField, sizeof entry->d_name)));
    return StripNulls(field);
}

// A link counts as what it points to, so a link to a folder is walked like one.
bool isFolder(const QByteArray &nativePath, unsigned char type)
{
    if (type == DT_DIR)
        return true;
    if (type != DT_LNK && type != DT_UNKNOWN)
        return false;
    struct stat info;
    return stat(nativePath.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

QByteArray StripNulls(QByteArray &OriginalStr)
{
    const qsizetype nul = OriginalStr.indexOf('\0');
    if (nul >= 0)
        OriginalStr.truncate(nul);
    return OriginalStr;
}

bool isDotEntry(const QByteArray &name)
{
    return name == "." || name == "..";
}

struct VisitingOrder::Frame
{
    enum class Pass { Subfolders, Files, Descent };

    Folder folder;
    Pass pass = Pass::Subfolders;
    Listing listing;
    std::optional<std::pair<QByteArray, unsigned char>> pendingEntry;
    QList<QByteArray> subfolders;
    qsizetype nextSubfolder = 0;
};

VisitingOrder::VisitingOrder(const QString &root, QString pattern)
    : m_pattern(std::move(pattern)), m_folderToEnter(Folder{QFile::encodeName(root), root})
{
}

VisitingOrder::~VisitingOrder() = default;

const VisitingOrder::Folder &VisitingOrder::folder() const
{
    return m_folderToEnter ? *m_folderToEnter : m_frames.back()->folder;
}

VisitingOrder::Step VisitingOrder::next()
{
    if (m_folderToEnter)
        enter(*std::exchange(m_folderToEnter, std::nullopt));
    while (!m_frames.empty()) {
        Frame &frame = *m_frames.back();
        std::optional<Step> step;
        switch (frame.pass) {
        case Frame::Pass::Subfolders:
            step = stepThroughSubfolderPass(frame);
            break;
        case Frame::Pass::Files:
            step = stepThroughFilePass(frame);
            break;
        case Frame::Pass::Descent:
            step = stepThroughDescent(frame);
            break;
        }
        if (step)
            return *step;
    }
    return Step::End;
}

// A folder that cannot be listed is entered all the same: its passes find nothing.
void VisitingOrder::enter(Folder folder)
{
    struct stat info;
    if (stat(folder.native.constData(), &info) == 0) {
        const std::pair<quint64, quint64> identity(info.st_dev, info.st_ino);
        if (m_enteredFolders.contains(identity))
            return;
        m_enteredFolders.insert(identity);
    }
    auto frame = std::make_unique<Frame>();
    frame->listing = openListing(folder.native);
    frame->folder = std::move(folder);
    m_frames.push_back(std::move(frame));
}

void VisitingOrder::classifyPendingEntry(Frame &frame)
{
    if (!frame.pendingEntry)
        return;
    const auto [name, type] = *std::exchange(frame.pendingEntry, std::nullopt);
    if (!isDotEntry(name) && isFolder(frame.folder.native + name, type))
        frame.subfolders.append(name);
}

std::optional<VisitingOrder::Step> VisitingOrder::stepThroughSubfolderPass(Frame &frame)
{
    classifyPendingEntry(frame);
    if (frame.listing) {
        if (const dirent *entry = readdir(frame.listing.get())) {
            frame.pendingEntry.emplace(entryName(entry), entry->d_type);
            return Step::ListedEntry;
        }
    }
    frame.listing = openListing(frame.folder.native);
    frame.pass = Frame::Pass::Files;
    return std::nullopt;
}

std::optional<VisitingOrder::Step> VisitingOrder::stepThroughFilePass(Frame &frame)
{
    if (frame.listing) {
        while (const dirent *entry = readdir(frame.listing.get())) {
            QByteArray name = entryName(entry);
            if (matchesPattern(QFile::decodeName(name), m_pattern)) {
                m_name = std::move(name);
                return Step::MatchingEntry;
            }
        }
    }
    frame.listing.reset();
    frame.pass = Frame::Pass::Descent;
    return std::nullopt;
}

std::optional<VisitingOrder::Step> VisitingOrder::stepThroughDescent(Frame &frame)
{
    if (frame.nextSubfolder < frame.subfolders.size()) {
        const QByteArray &name = frame.subfolders.at(frame.nextSubfolder++);
        m_folderToEnter = Folder{frame.folder.native + name + '/',
                                 frame.folder.path + QFile::decodeName(name) + '/'};
        return Step::EnteringSubfolder;
    }
    m_frames.pop_back();
    return std::nullopt;
}
