#include "worker/WarmGhostscript.h"

#include "protocol/FileSignature.h"
#include "protocol/WriteAll.h"
#include "worker/Interposition.h"
#include "worker/MagickHandles.h"

#include <ghostscript/gserrors.h>
#include <ghostscript/iapi.h>
#include <wand/MagickWand.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <seccomp.h>
#include <unistd.h>

#include <vector>

namespace {

// The delegates ImageMagick 6's PDF coder picks from for a thumbnail:
// ps:cmyk when it finds CMYK named in the file, ps:alpha otherwise.
const char *const delegates[] = {"ps:alpha", "ps:cmyk"};

// What the PDF coder fills into a delegate's command, in this order, for page
// 1 at its default density, antialiased: the text and the graphics alpha
// bits, the density, the options, then the page files' name, the blank file
// gs runs first and the PDF. These names stand for the ones ImageMagick makes
// in the scratch folder.
constexpr unsigned alphaBits = 4;
const char density[] = "72x72";
const char pageOneOptions[] = "-dFirstPage=1 -dLastPage=1";
const QByteArray filledIn = QByteArrayLiteral("uusssss");
const QByteArray standInPages = QByteArrayLiteral("/magick-pages%d");
const QByteArray standInBlank = QByteArrayLiteral("/magick-blank");
const QByteArray standInPdf = QByteArrayLiteral("/magick-pdf");
// ImageMagick hands a command holding any of these to a shell, not execvp.
const char shellCharacters[] = "&;<>|";

const QByteArray outputOption = QByteArrayLiteral("-sOutputFile=");
const QByteArray fileOption = QByteArrayLiteral("-f");
const QByteArray pagePattern = QByteArrayLiteral("/warm-page%d");

// The conversions of a printf format, by their letters; "%%" is none. A
// width or precision taken from the arguments shows as '*'.
QByteArray conversionsOf(const char *format)
{
    QByteArray letters;
    for (const char *c = format; *c != '\0'; ++c) {
        if (*c != '%')
            continue;
        ++c;
        while (*c != '\0' && std::strchr("#0- +'123456789.hlLqjzt", *c) != nullptr)
            ++c;
        if (*c == '\0')
            break;
        if (*c != '%')
            letters += *c;
    }
    return letters;
}

// The command split as ImageMagick splits it before its execvp, less the name
// its own splitting puts first.
QList<QByteArray> argumentsOf(const char *command)
{
    int count = 0;
    char **argv = StringToArgv(command, &count);
    QList<QByteArray> arguments;
    if (argv == nullptr)
        return arguments;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            arguments << QByteArray(argv[i]);
        DestroyString(argv[i]);
    }
    RelinquishMagickMemory(argv);
    return arguments;
}

// The bytes by which FileSignature tells a PDF, as the window's process and
// the worker judged this file before ImageMagick read it.
std::optional<QByteArray> readHead(const char *path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray head(FileSignature::headSize, Qt::Uninitialized);
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

bool isBlankFile(const char *path)
{
    const std::optional<QByteArray> head = readHead(path);
    return head && FileSignature::ghostscriptReading(*head).as ==
                       FileSignature::GhostscriptReading::As::Nothing;
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

// One page of our own, in grey, RGB and CMYK, filled and as images. Building
// the colour transforms from CMYK alone costs a document's first page about
// 70 ms; drawn once at start-up, they come built into every renderer.
QByteArray colourWarmUpPdf()
{
    const QByteArray content = QByteArrayLiteral(
        "0.5 g 0 0 10 10 re f 1 0 0 rg 10 0 10 10 re f 0 1 0 0 k 20 0 10 10 re f\n"
        "q 10 0 0 10 0 0 cm BI /W 1 /H 1 /CS /G /BPC 8 ID \x80 EI Q\n"
        "q 10 0 0 10 10 0 cm BI /W 1 /H 1 /CS /RGB /BPC 8 ID \xff\x00\x00 EI Q\n"
        "q 10 0 0 10 20 0 cm BI /W 1 /H 1 /CS /CMYK /BPC 8 ID \x00\xff\x00\x00 "
        "EI Q\n");
    const QByteArray objects[] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 30 10] /Contents 4 0 R >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
            "endstream",
    };
    QByteArray pdf = "%PDF-1.4\n";
    QByteArray table = "xref\n0 5\n0000000000 65535 f \n";
    for (qsizetype i = 0; i < 4; ++i) {
        table += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const QByteArray start = QByteArray::number(pdf.size());
    return pdf + table + "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + start + "\n%%EOF\n";
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
    if (!Interposition::forwards()) {
        m_problem = QStringLiteral("the worker cannot find execvp to hand other commands on");
        return;
    }
    if (!Interposition::arm(this)) {
        m_problem = QStringLiteral("another warm Ghostscript is running in this process");
        return;
    }
    for (const char *delegate : delegates) {
        Interpreter interpreter;
        interpreter.delegate = delegate;
        m_problem = derive(interpreter);
        if (m_problem.isEmpty())
            m_problem = start(interpreter);
        m_interpreters.append(interpreter);
        if (!m_problem.isEmpty()) {
            Interposition::disarm(this);
            return;
        }
    }
}

WarmGhostscript::~WarmGhostscript()
{
    Interposition::disarm(this);
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

// ImageMagick's PDF coder formats the delegate's command with its values for
// page 1, and ExternalDelegateCommand splits it into execvp's arguments; both
// are done here with ImageMagick's own functions, on names that stand for its
// files. What the renderer takes is a gs command that names the page files
// with -sOutputFile= and ends with the blank file and the PDF, each after -f.
QString WarmGhostscript::derive(Interpreter &interpreter) const
{
    const QString name = QString::fromLatin1(interpreter.delegate);
    const auto notTaken = [&name](const QString &why) {
        return QStringLiteral("ImageMagick's %1 command is not one the warm renderer takes: %2")
            .arg(name, why);
    };
    const MagickHandles::ExceptionHandle exception = MagickHandles::newException();
    const DelegateInfo *info =
        GetDelegateInfo(interpreter.delegate.constData(), nullptr, exception.get());
    const char *commands = info != nullptr ? GetDelegateCommands(info) : nullptr;
    if (commands == nullptr)
        return QStringLiteral("ImageMagick has no %1 delegate").arg(name);
    if (conversionsOf(commands) != filledIn)
        return notTaken(QStringLiteral("it is not filled in as a PDF's pages are"));
    const QByteArray pages = m_scratch + standInPages;
    const QByteArray blank = m_scratch + standInBlank;
    const QByteArray pdf = m_scratch + standInPdf;
    char command[MaxTextExtent];
    FormatLocaleString(command, sizeof command, commands, alphaBits, alphaBits, density,
                       pageOneOptions, pages.constData(), blank.constData(), pdf.constData());
    if (std::strpbrk(command, shellCharacters) != nullptr)
        return notTaken(QStringLiteral("ImageMagick runs it through a shell"));
    QList<QByteArray> arguments = argumentsOf(command);
    const qsizetype last = arguments.size() - 1;
    if (last < 2 || arguments[last] != fileOption + pdf ||
        arguments[last - 1] != fileOption + blank)
        return notTaken(QStringLiteral("it does not end with the blank file and the PDF"));
    const qsizetype pagesAt = arguments.indexOf(outputOption + pages);
    if (pagesAt < 1)
        return notTaken(QStringLiteral("it names no page files with -sOutputFile="));
    for (qsizetype i = 0; i < last - 1; ++i) {
        if (i != pagesAt && (arguments[i].contains(pages) || arguments[i].contains(blank) ||
                             arguments[i].contains(pdf)))
            return notTaken(QStringLiteral("it names ImageMagick's files more than once"));
    }
    arguments[pagesAt] = outputOption;
    arguments[last - 1] = fileOption;
    arguments[last] = fileOption;
    interpreter.command = arguments;
    interpreter.pagesAt = pagesAt;
    return QString();
}

// Everything gs does before it reaches the first file on its command line is
// done here, once: -dBATCH only decides what happens after the last file.
QString WarmGhostscript::start(Interpreter &interpreter) const
{
    QList<QByteArray> arguments = interpreter.command.first(interpreter.command.size() - 2);
    arguments[interpreter.pagesAt] += pageFile();
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    const QString name = QString::fromLatin1(interpreter.delegate);
    if (const int code = ::gsapi_new_instance(&interpreter.instance, nullptr); code < 0) {
        interpreter.instance = nullptr;
        return QStringLiteral("Ghostscript would not start for %1 (error %2)").arg(name).arg(code);
    }
    ::gsapi_set_arg_encoding(interpreter.instance, GS_ARG_ENCODING_UTF8);
    if (const int code =
            ::gsapi_init_with_args(interpreter.instance, int(argv.size()), argv.data());
        code < 0) {
        return QStringLiteral("Ghostscript could not start ImageMagick's %1 command (error %2)")
            .arg(name)
            .arg(code);
    }
    interpreter.pagesBefore = warmUpColours(interpreter.instance);
    return QString();
}

// The pages it wrote are gone, but the device counts them: a document's page
// is numbered after them.
int WarmGhostscript::warmUpColours(void *instance) const
{
    const QByteArray pdf = m_scratch + "/colour-warm-up.pdf";
    const QByteArray bytes = colourWarmUpPdf();
    const int fd = ::open(pdf.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool written = fd >= 0 && writeAll(fd, bytes.constData(), bytes.size()) == 0;
    if (fd >= 0)
        ::close(fd);
    if (written) {
        ::gsapi_add_control_path(instance, GS_PERMIT_FILE_READING, pdf.constData());
        int exitCode = 0;
        ::gsapi_run_string(instance, pdfProgram(pdf.constData(), 0).constData(), 0, &exitCode);
        ::gsapi_remove_control_path(instance, GS_PERMIT_FILE_READING, pdf.constData());
    }
    ::unlink(pdf.constData());
    for (int pages = 0;; ++pages) {
        QByteArray page = pageFile();
        page.replace("%d", QByteArray::number(pages + 1));
        if (::unlink(page.constData()) != 0)
            return pages;
    }
}

void WarmGhostscript::setRendererHook(std::function<void()> hook)
{
    m_rendererHook = std::move(hook);
}

QByteArray WarmGhostscript::pageFile() const
{
    return m_scratch + pagePattern;
}

// The derived command, with ImageMagick's files in the scratch folder where
// it left them out.
bool WarmGhostscript::matches(const Interpreter &interpreter, const char *file,
                              char *const argv[]) const
{
    const QList<QByteArray> &command = interpreter.command;
    if (file == nullptr || command.first() != file)
        return false;
    const qsizetype last = command.size() - 1;
    const QByteArray inScratch = m_scratch + '/';
    for (qsizetype i = 0; i <= last; ++i) {
        if (argv[i] == nullptr)
            return false;
        const bool namesFile = i == interpreter.pagesAt || i >= last - 1;
        if (namesFile ? !startsWith(argv[i], command[i] + inScratch) : command[i] != argv[i])
            return false;
    }
    return argv[last + 1] == nullptr && QByteArray(argv[interpreter.pagesAt]).endsWith("%d");
}

void WarmGhostscript::renderIfExpected(const char *file, char *const argv[]) const
{
    for (const Interpreter &interpreter : m_interpreters) {
        if (!matches(interpreter, file, argv))
            continue;
        const qsizetype last = interpreter.command.size() - 1;
        // gs runs that first file, which ImageMagick leaves blank, to no effect.
        if (!isBlankFile(argv[last - 1] + fileOption.size()))
            return;
        Interposition::takeOver();
        render(interpreter, argv[interpreter.pagesAt] + outputOption.size(),
               argv[last] + fileOption.size());
    }
}

void WarmGhostscript::render(const Interpreter &interpreter, const char *outputPattern,
                             const char *pdf) const
{
    using As = FileSignature::GhostscriptReading::As;
    const std::optional<QByteArray> head = readHead(pdf);
    const FileSignature::GhostscriptReading reading =
        head ? FileSignature::ghostscriptReading(*head) : FileSignature::GhostscriptReading{};
    switch (reading.as) {
    case As::Pdf:
        break;
    case As::Nothing:
        ::_exit(0);
    case As::PostScript:
        std::fprintf(stderr, "leafmark-worker: the file is PostScript under a PDF's name; it is "
                             "not run\n");
        ::_exit(1);
    case As::Undecided:
        std::fprintf(stderr, "leafmark-worker: the PDF could not be read\n");
        ::_exit(1);
    }
    if (reading.garbageBefore)
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
    int exitCode = 0;
    const int code =
        ::gsapi_run_string(instance, pdfProgram(pdf, reading.header).constData(), 0, &exitCode);
    std::fflush(nullptr);
    // The page under the name ImageMagick gave, "%d" being its number.
    const QByteArray pattern(outputPattern);
    const QByteArray warm = pageFile();
    for (int page = 1;; ++page) {
        QByteArray from = warm;
        from.replace("%d", QByteArray::number(interpreter.pagesBefore + page));
        QByteArray to = pattern;
        to.replace(to.size() - 2, 2, QByteArray::number(page));
        if (::rename(from.constData(), to.constData()) != 0)
            break;
    }
    ::_exit(exitStatus(code));
}
