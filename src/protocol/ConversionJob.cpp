#include "protocol/ConversionJob.h"

namespace {
const QString firstPageSuffix = QStringLiteral("[0]");
}

std::optional<ConversionJob> ConversionJob::fromArguments(const QStringList &arguments)
{
    if (arguments.size() != 6 || arguments.at(0) != QLatin1String("-thumbnail") ||
        arguments.at(2) != QLatin1String("-alpha") || arguments.at(3) != QLatin1String("Remove"))
        return std::nullopt;
    ConversionJob job;
    job.geometry = arguments.at(1);
    job.input = arguments.at(4);
    job.firstPageOnly = job.input.endsWith(firstPageSuffix);
    if (job.firstPageOnly)
        job.input.chop(firstPageSuffix.size());
    job.output = arguments.at(5);
    return job;
}

QString ConversionJob::outputExtension() const
{
    const QString name = output.mid(output.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}
