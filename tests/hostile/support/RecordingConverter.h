#pragma once

#include "run/Converter.h"

#include <QList>
#include <QSet>

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
    qsizetype jobsAhead() const override;
    void foresee(const std::vector<ConversionJob> &upcoming) override;

    // The call whose input path ends in the text, or nullptr.
    const Call *callFor(const QString &inputEnd) const;

    QList<Call> calls;
    // How many PDFs the walk has told the converter it will meet.
    qsizetype foreseen = 0;
    std::function<void(const ConversionJob &job)> beforeConvert;
    std::function<void(const Call &call)> afterConvert;

private:
    Converter &m_converter;
    QSet<QString> m_foreseenInputs;
};
