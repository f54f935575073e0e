#include "worker/RenderReadSet.h"

#include "protocol/WriteAll.h"
#include "worker/MagickHandles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <ghostscript/iapi.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wand/MagickWand.h>

namespace {

const char *const systemRoots[] = {"/usr", "/etc", "/var/lib", "/var/cache", "/opt"};

// What the C library and the loader read whatever is rendered: the library
// cache, time zones, locales, the paper size.
const char *const loaderAndLibraryFiles[] = {
    "/etc/ld.so.cache", "/etc/localtime", "/usr/share/zoneinfo",
    "/usr/lib/locale",  "/etc/papersize",
};

// Devices outside the rule's roots that Ghostscript and ImageMagick open.
const char *const devices[] = {"/dev/null", "/dev/urandom"};

bool isBeneath(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

bool isBeneathAny(const QString &path, const QSet<QString> &folders)
{
    for (qsizetype slash = path.size(); slash > 0;
         slash = path.lastIndexOf(QLatin1Char('/'), slash - 1)) {
        if (folders.contains(path.left(slash)))
            return true;
    }
    return false;
}

bool isRoot(const QString &path)
{
    for (const char *root : systemRoots) {
        if (path == QLatin1String(root))
            return true;
    }
    return false;
}

// A folder that holds an excluded one is left out whole: a rule on it would
// reach down into it.
bool isSystemPath(const QString &path, const QStringList &excluded)
{
    bool underRoot = false;
    for (const char *root : systemRoots)
        underRoot = underRoot || isBeneath(path, QLatin1String(root));
    if (!underRoot)
        return false;
    for (const QString &folder : excluded) {
        if (isBeneath(path, folder) || isBeneath(folder, path))
            return false;
    }
    return true;
}

// Landlock judges the file a link leads to, not the link. A linked file
// brings its folder along (Ghostscript's CMaps lead, one by one, into
// poppler's folders), unless that folder is one of the roots themselves.
QStringList linkTargetsBeneath(const QString &folder)
{
    QStringList targets;
    QDirIterator entries(folder,
                         QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QFileInfo entry = entries.nextFileInfo();
        if (!entry.isSymLink())
            continue;
        const QString target = entry.canonicalFilePath();
        if (target.isEmpty() || isBeneath(target, folder))
            continue;
        const QString targetFolder = QFileInfo(target).path();
        targets << (QFileInfo(target).isDir() || isRoot(targetFolder) ? target : targetFolder);
    }
    return targets;
}

QStringList withoutNested(QStringList paths)
{
    paths.sort();
    paths.removeDuplicates();
    QSet<QString> outermost;
    QStringList kept;
    for (const QString &path : std::as_const(paths)) {
        if (!isBeneathAny(path, outermost)) {
            outermost.insert(path);
            kept << path;
        }
    }
    return kept;
}

QStringList imageMagickPaths()
{
    QStringList paths;
    const MagickHandles::ExceptionHandle exception = MagickHandles::newException();
    if (LinkedListInfo *list = GetConfigurePaths("policy.xml", exception.get())) {
        ResetLinkedListIterator(list);
        while (const auto *path = static_cast<const char *>(GetNextValueInLinkedList(list)))
            paths << QFile::decodeName(path);
        DestroyLinkedList(list, RelinquishMagickMemory);
    }
    for (const char *option : {"CONFIGURE_PATH", "CODER_PATH", "FILTER_PATH"}) {
        if (char *value = GetConfigureOption(option)) {
            paths << QFile::decodeName(value);
            DestroyString(value);
        }
    }
    // The fonts its type lists name, fontconfig's among them.
    size_t count = 0;
    if (const TypeInfo **types = GetTypeInfoList("*", &count, exception.get())) {
        for (size_t i = 0; i < count; ++i) {
            for (const char *file : {types[i]->glyphs, types[i]->metrics}) {
                if (file != nullptr)
                    paths << QFile::decodeName(file);
            }
        }
        RelinquishMagickMemory(types);
    }
    return paths;
}

int collectOutput(void *output, const char *text, int length)
{
    static_cast<QByteArray *>(output)->append(text, length);
    return length;
}

int discardOutput(void *, const char *, int length)
{
    return length;
}

// One line each: the resource folder, the colour profiles' folder, and the
// folders Ghostscript looks for its libraries and fonts in.
constexpr char ghostscriptQuery[] =
    "currentsystemparams dup /GenericResourceDir known { /GenericResourceDir get = } "
    "{ pop } ifelse currentuserparams dup /ICCProfilesDir known { /ICCProfilesDir get = } "
    "{ pop } ifelse LIBPATH { = } forall";

QStringList askGhostscript()
{
    void *instance = nullptr;
    QByteArray output;
    if (gsapi_new_instance(&instance, &output) < 0)
        return {};
    gsapi_set_stdio(instance, nullptr, collectOutput, discardOutput);
    const char *const arguments[] = {"gs",        "-q", "-dNODISPLAY",   "-dBATCH",
                                     "-dNOPAUSE", "-c", ghostscriptQuery};
    gsapi_init_with_args(instance, int(std::size(arguments)), const_cast<char **>(arguments));
    gsapi_exit(instance);
    gsapi_delete_instance(instance);
    QStringList folders;
    for (const QString &line : QFile::decodeName(output).split(QLatin1Char('\n'))) {
        // "%rom%" and the like are inside the library.
        if (line.startsWith(QLatin1Char('/')))
            folders << line;
    }
    return folders;
}

// The font maps name font files by absolute path, each as a PostScript string.
QStringList filesInFontMaps(const QStringList &folders)
{
    static const QRegularExpression absolutePath(QStringLiteral("\\((/[^()\\\\]+)\\)"));
    QStringList files;
    for (const QString &folder : folders) {
        for (const QString &folderOfMaps : {folder, folder + QStringLiteral("/Init")}) {
            const QFileInfoList maps =
                QDir(folderOfMaps)
                    .entryInfoList({QStringLiteral("Fontmap*"), QStringLiteral("cidfmap*")},
                                   QDir::Files);
            for (const QFileInfo &map : maps) {
                QFile file(map.filePath());
                if (!file.open(QIODevice::ReadOnly))
                    continue;
                const QString text = QString::fromLocal8Bit(file.readAll());
                for (const QRegularExpressionMatch &match : absolutePath.globalMatch(text))
                    files << match.captured(1);
            }
        }
    }
    return files;
}

QStringList ghostscriptPaths()
{
    const QStringList folders = askGhostscript();
    return folders + filesInFontMaps(folders);
}

QStringList fontconfigPaths()
{
    QStringList paths;
    FcConfig *config = FcConfigGetCurrent();
    if (config == nullptr)
        return paths;
    for (FcStrList *list : {FcConfigGetFontDirs(config), FcConfigGetCacheDirs(config),
                            FcConfigGetConfigFiles(config)}) {
        if (list == nullptr)
            continue;
        while (const FcChar8 *path = FcStrListNext(list))
            paths << QFile::decodeName(reinterpret_cast<const char *>(path));
        FcStrListDone(list);
    }
    return paths;
}

// The candidates that the rule keeps, resolved, with every link beneath them
// followed, and none beneath another that is kept.
QStringList systemPathsAmong(const QStringList &candidates, const QStringList &excluded)
{
    // Parents first, so that a folder beneath one already walked is not
    // walked again.
    QStringList queue = candidates;
    queue.sort();
    QSet<QString> walked;
    QStringList kept;
    while (!queue.isEmpty()) {
        const QString candidate = queue.takeFirst();
        if (!QDir::isAbsolutePath(candidate))
            continue;
        const QString path = QFileInfo(candidate).canonicalFilePath();
        if (path.isEmpty() || !isSystemPath(path, excluded))
            continue;
        if (!QFileInfo(path).isDir()) {
            kept << path;
        } else if (!isBeneathAny(path, walked)) {
            walked.insert(path);
            kept << path;
            queue << linkTargetsBeneath(path);
        }
    }
    return withoutNested(kept);
}

// The home, however it is found, and the folder that holds every worker's
// scratch folder.
QStringList excludedFolders()
{
    QStringList excluded = {QDir::homePath(), QStringLiteral("/proc"), QStringLiteral("/run/user")};
    if (const passwd *user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr)
        excluded << QFile::decodeName(user->pw_dir);
    const QString temporary = QFileInfo(QDir::tempPath()).canonicalFilePath();
    excluded << temporary;
    if (const QString parent = QFileInfo(temporary).path(); parent != QLatin1String("/"))
        excluded << parent;
    excluded.removeAll(QStringLiteral("/"));
    excluded.removeAll(QString());
    return excluded;
}

QStringList derive()
{
    QStringList candidates = imageMagickPaths() + ghostscriptPaths() + fontconfigPaths();
    for (const char *path : loaderAndLibraryFiles)
        candidates << QString::fromLatin1(path);
    QStringList paths = systemPathsAmong(candidates, excludedFolders());
    for (const char *device : devices)
        paths << QString::fromLatin1(device);
    return paths;
}

QByteArray readAll(int fd)
{
    QByteArray bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return bytes;
        bytes.append(chunk, got);
    }
}

// Deriving walks thousands of files and starts a Ghostscript instance. In the
// worker's main process that left its heap scattered with freed blocks, which
// every request's child then wrote to, copying page after page (6 % more CPU
// time a PDF); in a child of its own it leaves the heap as it was.
QStringList derivedInChild()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return derive();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        const QByteArray paths = QFile::encodeName(derive().join(QChar(0)));
        ::_exit(writeAll(ends[1], paths.constData(), paths.size()) == 0 ? 0 : 1);
    }
    ::close(ends[1]);
    const QByteArray bytes = child > 0 ? readAll(ends[0]) : QByteArray();
    ::close(ends[0]);
    int status = -1;
    while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return derive();
    QStringList paths;
    for (const QByteArray &path : bytes.split('\0')) {
        if (!path.isEmpty())
            paths << QFile::decodeName(path);
    }
    return paths;
}

} // namespace

const QStringList &RenderReadSet::paths()
{
    static const QStringList derived = derivedInChild();
    return derived;
}
