#include "RecordingConverter.h"

QString RecordingConverter::Call::input() const
{
    return job.input;
}

QString RecordingConverter::Call::output() const
{
    return job.output;
}

RecordingConverter::RecordingConverter(Converter &converter) : m_converter(converter) {}

QString RecordingConverter::start()
{
    return m_converter.start();
}

ConversionResult RecordingConverter::Convert(const ConversionJob &job)
{
    if (beforeConvert)
        beforeConvert(job);
    calls.append({job, m_converter.Convert(job)});
    if (afterConvert)
        afterConvert(calls.last());
    return calls.last().result;
}

const RecordingConverter::Call *RecordingConverter::callFor(const QString &inputEnd) const
{
    for (const Call &call : calls) {
        if (call.input().endsWith(inputEnd))
            return &call;
    }
    return nullptr;
}

qsizetype RecordingConverter::jobsAhead() const
{
    return m_converter.jobsAhead();
}

void RecordingConverter::foresee(const std::vector<ConversionJob> &upcoming)
{
    for (const ConversionJob &job : upcoming)
        m_foreseenInputs.insert(job.input);
    foreseen = m_foreseenInputs.size();
    m_converter.foresee(upcoming);
}
