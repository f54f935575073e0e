#pragma once

#include "run/Converter.h"

#include <QList>

#include <functional>
#include <vector>

// Records every call; succeeds unless told otherwise. A test can act from
// inside a conversion (post a click, change the format) through onConvert.
class FakeConverter : public Converter
{
public:
    QString startError;
    std::function<ConversionResult(const ConversionJob &)> onConvert;
    QList<ConversionJob> calls;
    // How many jobs it takes ahead, and every list of them it was told.
    qsizetype ahead = 0;
    QList<std::vector<ConversionJob>> foreseen;

    QString start() override { return startError; }
    ConversionResult Convert(const ConversionJob &job) override
    {
        calls.append(job);
        return onConvert ? onConvert(job) : ConversionResult{QStringLiteral("88,114,PDF"), {}};
    }
    qsizetype jobsAhead() const override { return ahead; }
    void foresee(const std::vector<ConversionJob> &upcoming) override { foreseen.append(upcoming); }
};
