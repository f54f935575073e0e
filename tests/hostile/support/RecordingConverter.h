#pragma once

#include "run/Converter.h"

#include <QList>

#include <functional>

// Hands every conversion to the real converter and keeps what came of it; a
// test can act just before or after any conversion.
class RecordingConverter : public Converter
{
public:
    struct Call
    {
        ConversionJob job;
        ConversionResult result;

        QString input() const;
        QString output() const;
    };

    explicit RecordingConverter(Converter &converter);

    QString start() override;
    ConversionResult Convert(const ConversionJob &job) override;
    void foresee(Forecast forecast) override;

    // The call whose input path ends in the text, or nullptr.
    const Call *callFor(const QString &inputEnd) const;

    QList<Call> calls;
    // How many jobs the converter has taken from the walk's forecast.
    qsizetype foreseen = 0;
    std::function<void(const ConversionJob &job)> beforeConvert;
    std::function<void(const Call &call)> afterConvert;

private:
    Converter &m_converter;
};
