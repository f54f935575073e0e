// Stands in for the window's process in the tests that kill it: starts a
// worker and converts one PDF, and is killed while it waits for the result.
// Usage: hold_conversion <worker> <pdf> <thumbnail>

#include "pool/WorkerConverter.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    WorkerConverter converter(QString::fromLocal8Bit(argv[1]));
    if (!converter.start().isEmpty())
        return 1;
    const ConversionResult result = converter.Convert({.input = QString::fromLocal8Bit(argv[2]),
                                                       .geometry = QStringLiteral("88x"),
                                                       .output = QString::fromLocal8Bit(argv[3]),
                                                       .format = QStringLiteral("PNG")});
    return result.succeeded() ? 0 : 1;
}
