#include "worker/MagickRuntime.h"

#include "worker/MagickHandles.h"

#include <QStandardPaths>

#include <wand/MagickWand.h>

namespace {

// Debian's policy closes PDF, PS and EPS. Reading PDF is the job; EPS is one of
// the thumbnail formats and is read back for the preview. Writing PDF stays
// closed, so that an output format ImageMagick does not know fails instead of
// becoming a PDF under the thumbnail's name.
constexpr char securityPolicy[] = R"(<policymap>
  <policy domain="coder" rights="read" pattern="PDF"/>
  <policy domain="coder" rights="read|write" pattern="EPS"/>
</policymap>)";

QString openPolicy()
{
    const MagickHandles::ExceptionHandle exception = MagickHandles::newException();
    const bool opened = SetMagickSecurityPolicy(securityPolicy, exception.get()) == MagickTrue;
    const QString reason = MagickRuntime::plainMessage(exception->reason);
    if (opened)
        return QString();
    return QStringLiteral("ImageMagick refused to allow reading PDF files: %1").arg(reason);
}

} // namespace

MagickRuntime::MagickRuntime()
{
    MagickWandGenesis();
    m_problem = openPolicy();
    if (m_problem.isEmpty() && QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty())
        m_problem = QStringLiteral("Ghostscript (gs) was not found on the PATH; ImageMagick needs "
                                   "it to read PDF files");
}

MagickRuntime::~MagickRuntime()
{
    MagickWandTerminus();
}

QString MagickRuntime::problem() const
{
    return m_problem;
}

QString MagickRuntime::version() const
{
    size_t number = 0;
    return QString::fromLatin1(GetMagickVersion(&number));
}

QString MagickRuntime::plainMessage(const char *message)
{
    QString text = QString::fromLocal8Bit(message);
    const qsizetype location = text.lastIndexOf(QLatin1String(" @ "));
    if (location >= 0)
        text.truncate(location);
    return text.trimmed();
}
