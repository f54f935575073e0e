#include "worker/WarmGhostscript.h"

#include <ghostscript/gserrors.h>
#include <ghostscript/iapi.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <seccomp.h>
#include <unistd.h>

#include <vector>

namespace {

// The devices ImageMagick 6 picks for a PDF: pamcmyk32 when it finds CMYK
// named in the file, pngalpha otherwise.
const QByteArray devices[] = {QByteArrayLiteral("pngalpha"), QByteArrayLiteral("pamcmyk32")};
const QByteArray outputOption = QByteArrayLiteral("-sOutputFile=");
const QByteArray fileOption = QByteArrayLiteral("-f");
const QByteArray pagePattern = QByteArrayLiteral("/warm-page%d");

// gs skips up to this much of whatever comes before a PDF's header.
constexpr qsizetype headerWindow = 1023;
constexpr qsizetype headLimit = 1 << 20;

const WarmGhostscript *armed = nullptr;
// Set in the rendering child only: ImageMagick's own PNG writer keeps its way.
bool fastHandOver = false;

using ExecvpFunction = int (*)(const char *, char *const[]);
using PngWriteInfoFunction = void (*)(void *, void *);
using PngSetCompressionLevelFunction = void (*)(void *, int);
using PngSetFilterFunction = void (*)(void *, int, int);

// Looked up before any fork: a child of a threaded process should do little
// more than render.
const auto realExecvp = reinterpret_cast<ExecvpFunction>(::dlsym(RTLD_NEXT, "execvp"));
const auto realPngWriteInfo =
    reinterpret_cast<PngWriteInfoFunction>(::dlsym(RTLD_NEXT, "png_write_info"));
const auto pngSetCompressionLevel = reinterpret_cast<PngSetCompressionLevelFunction>(
    ::dlsym(RTLD_DEFAULT, "png_set_compression_level"));
const auto pngSetFilter =
    reinterpret_cast<PngSetFilterFunction>(::dlsym(RTLD_DEFAULT, "png_set_filter"));

// libpng's values for the base filter method and for rows left unfiltered.
constexpr int pngFilterTypeBase = 0;
constexpr int pngFilterNone = 0x08;
constexpr int fastestDeflate = 1;

enum class Content { Pdf, Nothing, PostScript, Unreadable };

struct Head
{
    Content content = Content::Unreadable;
    // Where the PDF's header starts: gs skips what comes before.
    qsizetype skipped = 0;
    bool garbage = false;
};

QByteArray readHead(const char *path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    QByteArray head(headLimit, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < head.size()) {
        const ssize_t got = ::read(fd, head.data() + filled, size_t(head.size() - filled));
        if (got <= 0)
            break;
        filled += got;
    }
    ::close(fd);
    head.truncate(filled);
    return head;
}

// What gs's own reading of a file on its command line would make of it: after
// leading white space, "%!" or "%%" makes it PostScript; "%PDF-" in the next
// 1023 bytes makes it a PDF unless "%!PS" comes first; anything else is
// PostScript too. PostScript is never run here.
Head classify(const QByteArray &head)
{
    qsizetype start = 0;
    while (start < head.size() && static_cast<unsigned char>(head[start]) <= ' ')
        ++start;
    if (start == head.size())
        return {start < headLimit ? Content::Nothing : Content::Unreadable, 0};
    const QByteArray window = head.mid(start, headerWindow);
    if (window.startsWith("%!") || window.startsWith("%%"))
        return {Content::PostScript, 0};
    const qsizetype header = window.indexOf("%PDF-");
    if (header < 0 || window.left(header).contains("%!PS"))
        return {Content::PostScript, 0};
    return {Content::Pdf, start + header, header > 0};
}

bool isBlankFile(const char *path)
{
    const QByteArray head = readHead(path);
    for (const char c : head) {
        if (static_cast<unsigned char>(c) > ' ')
            return false;
    }
    return head.size() < headLimit;
}

QByteArray postScriptString(const char *text)
{
    QByteArray quoted("(");
    for (const char *c = text; *c != '\0'; ++c) {
        if (*c == '(' || *c == ')' || *c == '\\')
            quoted += '\\';
        quoted += *c;
    }
    return quoted + ')';
}

// The PDF interpreter on the file, as gs's own "run" calls it once it has
// seen a PDF header, under the error handling of a file named on gs's command
// line.
QByteArray pdfProgram(const char *pdf, qsizetype skipped)
{
    QByteArray program = "{ " + postScriptString(pdf) + " (r) file ";
    if (skipped > 0)
        program += "dup " + QByteArray::number(skipped) + " string readstring pop pop ";
    return program + "runpdf } execute0";
}

// The exit status of gs's own main for the code its run ended with.
int exitStatus(int code)
{
    switch (code) {
    case 0:
    case gs_error_Quit:
    case gs_error_Info:
        return 0;
    case gs_error_Fatal:
        return 1;
    default:
        return 255;
    }
}

// The child renders and nothing else: whatever a document makes Ghostscript
// do, it starts no program. Like the worker's own confinement, left out where
// the kernel has no filter to offer.
void refuseStartingPrograms()
{
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_ALLOW);
    if (filter == nullptr)
        return;
    if (::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(execve), 0) == 0 &&
        ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(execveat), 0) == 0)
        ::seccomp_load(filter);
    ::seccomp_release(filter);
}

// The renderer keeps only what an exec of gs would have kept: not the
// document's descriptor nor the pipe the request's reply goes through. The
// request's child holds a handful of descriptors, so they all lie far below
// the bound.
bool dropWhatExecWouldClose()
{
    constexpr int bound = 1024;
    for (int fd = 3; fd < bound; ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && (flags & FD_CLOEXEC) != 0)
            ::close(fd);
    }
    return ::close_range(bound, ~0U, 0) == 0;
}

bool startsWith(const char *text, const QByteArray &prefix)
{
    return std::strncmp(text, prefix.constData(), size_t(prefix.size())) == 0;
}

} // namespace

WarmGhostscript::WarmGhostscript(const QString &scratchPath) : m_scratch(scratchPath.toLocal8Bit())
{
    if (realExecvp == nullptr) {
        m_problem = QStringLiteral("the worker cannot find execvp to hand other commands on");
        return;
    }
    if (armed != nullptr) {
        m_problem = QStringLiteral("another warm Ghostscript is running in this process");
        return;
    }
    for (const QByteArray &device : devices) {
        Interpreter interpreter;
        interpreter.device = device;
        m_problem = start(interpreter);
        m_interpreters.append(interpreter);
        if (!m_problem.isEmpty())
            return;
    }
    armed = this;
}

WarmGhostscript::~WarmGhostscript()
{
    if (armed == this)
        armed = nullptr;
    for (const Interpreter &interpreter : std::as_const(m_interpreters)) {
        if (interpreter.instance == nullptr)
            continue;
        ::gsapi_exit(interpreter.instance);
        ::gsapi_delete_instance(interpreter.instance);
    }
}

QString WarmGhostscript::problem() const
{
    return m_problem;
}

QList<QByteArray> WarmGhostscript::expectedArguments(const QByteArray &device)
{
    return {QByteArrayLiteral("gs"),
            QByteArrayLiteral("-sstdout=%stderr"),
            QByteArrayLiteral("-dQUIET"),
            QByteArrayLiteral("-dSAFER"),
            QByteArrayLiteral("-dBATCH"),
            QByteArrayLiteral("-dNOPAUSE"),
            QByteArrayLiteral("-dNOPROMPT"),
            QByteArrayLiteral("-dMaxBitmap=500000000"),
            QByteArrayLiteral("-dAlignToPixels=0"),
            QByteArrayLiteral("-dGridFitTT=2"),
            QByteArrayLiteral("-sDEVICE=") + device,
            QByteArrayLiteral("-dTextAlphaBits=4"),
            QByteArrayLiteral("-dGraphicsAlphaBits=4"),
            QByteArrayLiteral("-r72x72"),
            QByteArrayLiteral("-dFirstPage=1"),
            QByteArrayLiteral("-dLastPage=1")};
}

// Everything gs does before it reaches the first file on its command line is
// done here, once: -dBATCH only decides what happens after the last file.
QString WarmGhostscript::start(Interpreter &interpreter) const
{
    QList<QByteArray> arguments = expectedArguments(interpreter.device);
    arguments << outputOption + pageFile();
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    if (const int code = ::gsapi_new_instance(&interpreter.instance, nullptr); code < 0) {
        interpreter.instance = nullptr;
        return QStringLiteral("Ghostscript would not start for %1 (error %2)")
            .arg(QString::fromLatin1(interpreter.device))
            .arg(code);
    }
    ::gsapi_set_arg_encoding(interpreter.instance, GS_ARG_ENCODING_UTF8);
    if (const int code =
            ::gsapi_init_with_args(interpreter.instance, int(argv.size()), argv.data());
        code < 0) {
        return QStringLiteral("Ghostscript could not start the %1 device (error %2)")
            .arg(QString::fromLatin1(interpreter.device))
            .arg(code);
    }
    return QString();
}

void WarmGhostscript::setRendererHook(std::function<void()> hook)
{
    m_rendererHook = std::move(hook);
}

QByteArray WarmGhostscript::pageFile() const
{
    return m_scratch + pagePattern;
}

const WarmGhostscript::Interpreter *WarmGhostscript::interpreterFor(char *const argv[]) const
{
    for (const Interpreter &interpreter : m_interpreters) {
        const QList<QByteArray> expected = expectedArguments(interpreter.device);
        int i = 0;
        while (i < expected.size() && argv[i] != nullptr && expected[i] == argv[i])
            ++i;
        if (i == expected.size())
            return &interpreter;
    }
    return nullptr;
}

void WarmGhostscript::renderIfExpected(const char *file, char *const argv[]) const
{
    if (file == nullptr || std::strcmp(file, "gs") != 0)
        return;
    const Interpreter *interpreter = interpreterFor(argv);
    if (interpreter == nullptr)
        return;
    const qsizetype count = expectedArguments(interpreter->device).size();
    for (int i = 0; i < count + 3; ++i) {
        if (argv[i] == nullptr)
            return;
    }
    const char *output = argv[count];
    const char *emptyFile = argv[count + 1];
    const char *pdf = argv[count + 2];
    const QByteArray inScratch = m_scratch + '/';
    if (argv[count + 3] != nullptr || !startsWith(output, outputOption + inScratch) ||
        !QByteArray(output).endsWith("%d") || !startsWith(emptyFile, fileOption + inScratch) ||
        !startsWith(pdf, fileOption + inScratch))
        return;
    // gs runs that first file, which ImageMagick leaves blank, to no effect.
    if (!isBlankFile(emptyFile + fileOption.size()))
        return;
    render(*interpreter, output + outputOption.size(), pdf + fileOption.size());
}

void WarmGhostscript::render(const Interpreter &interpreter, const char *outputPattern,
                             const char *pdf) const
{
    const Head head = classify(readHead(pdf));
    switch (head.content) {
    case Content::Pdf:
        break;
    case Content::Nothing:
        ::_exit(0);
    case Content::PostScript:
        std::fprintf(stderr, "leafmark-worker: the file is PostScript under a PDF's name; it is "
                             "not run\n");
        ::_exit(1);
    case Content::Unreadable:
        std::fprintf(stderr, "leafmark-worker: the PDF could not be read\n");
        ::_exit(1);
    }
    if (head.garbage)
        std::fprintf(stderr, "   **** Warning: File has some garbage before %%PDF- .\n");
    if (!dropWhatExecWouldClose()) {
        std::fprintf(stderr, "leafmark-worker: the renderer could not close what it inherited\n");
        ::_exit(1);
    }
    refuseStartingPrograms();
    if (m_rendererHook)
        m_rendererHook();
    void *instance = interpreter.instance;
    ::gsapi_add_control_path(instance, GS_PERMIT_FILE_READING, pdf);
    fastHandOver =
        realPngWriteInfo != nullptr && pngSetCompressionLevel != nullptr && pngSetFilter != nullptr;
    int exitCode = 0;
    const int code =
        ::gsapi_run_string(instance, pdfProgram(pdf, head.skipped).constData(), 0, &exitCode);
    std::fflush(nullptr);
    // The page under the name ImageMagick gave, "%d" being its number.
    const QByteArray pattern(outputPattern);
    const QByteArray warm = pageFile();
    for (int page = 1;; ++page) {
        const QByteArray number = QByteArray::number(page);
        QByteArray from = warm;
        from.replace("%d", number);
        QByteArray to = pattern;
        to.replace(to.size() - 2, 2, number);
        if (::rename(from.constData(), to.constData()) != 0)
            break;
    }
    ::_exit(exitStatus(code));
}

extern "C" {

// ImageMagick starts gs through execvp in a child it has just forked.
int execvp(const char *file, char *const argv[])
{
    if (armed != nullptr)
        armed->renderIfExpected(file, argv);
    return realExecvp(file, argv);
}

// The page goes to ImageMagick through a PNG file that it decodes at once:
// deflated at the fastest level, rows unfiltered, it is the same image at a
// fraction of the cost.
void png_write_info(void *png, void *info)
{
    if (fastHandOver) {
        pngSetCompressionLevel(png, fastestDeflate);
        pngSetFilter(png, pngFilterTypeBase, pngFilterNone);
    }
    // libpng may come in after this program started, with a coder module.
    static const auto forward =
        realPngWriteInfo != nullptr
            ? realPngWriteInfo
            : reinterpret_cast<PngWriteInfoFunction>(::dlsym(RTLD_NEXT, "png_write_info"));
    forward(png, info);
}
}
