#pragma once

#include "run/Converter.h"

// Passes every call on to the real converter and keeps the last job it was
// handed: the walk tells its view an entry's thumbnail name, not its PDF.
class JobTrail : public Converter
{
public:
    explicit JobTrail(Converter &converter) : m_converter(converter) {}

    QString start() override { return m_converter.start(); }
    ConversionResult Convert(const ConversionJob &job) override;
    void foresee(Forecast forecast) override { m_converter.foresee(std::move(forecast)); }

    // The PDF converted since the last call, or "" when the walk refused the
    // entry before converting it.
    QString takeConvertedPdf();

private:
    Converter &m_converter;
    QString m_convertedPdf;
};
