#include "protocol/ConversionJob.h"

QString ConversionJob::outputExtension() const
{
    const QString name = output.mid(output.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}
