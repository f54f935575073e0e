#pragma once

#include "run/Converter.h"

#include <QList>

#include <functional>

// Records every call; succeeds unless told otherwise. A test can act from
// inside a conversion (post a click, change the format) through onConvert.
class FakeConverter : public Converter
{
public:
    QString startError;
    std::function<ConversionResult(const QStringList &)> onConvert;
    QList<QStringList> calls;

    QString start() override { return startError; }
    ConversionResult Convert(const QStringList &arguments) override
    {
        calls.append(arguments);
        return onConvert ? onConvert(arguments) : ConversionResult{QStringLiteral("88,114,PDF"), {}};
    }
};
