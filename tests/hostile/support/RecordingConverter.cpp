#include "RecordingConverter.h"

#include <QElapsedTimer>

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
    QElapsedTimer clock;
    clock.start();
    Call call{job, m_converter.Convert(job), 0};
    call.milliseconds = clock.elapsed();
    calls.append(call);
    if (afterConvert)
        afterConvert(calls.last());
    return call.result;
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
    m_converter.foresee(upcoming);
}
