#include "run/OutputPath.h"

bool IsPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

QString OutputPath(const QString &imageFolder, const QString &outputName)
{
    return imageFolder + QLatin1Char('/') + outputName;
}
