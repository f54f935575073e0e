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
    std::function<ConversionResult(const ConversionJob &)> onConvert;
    QList<ConversionJob> calls;

    QString start() override { return startError; }
    ConversionResult Convert(const ConversionJob &job) override
    {
        calls.append(job);
        return onConvert ? onConvert(job) : ConversionResult{QStringLiteral("88,114,PDF"), {}};
    }
};
