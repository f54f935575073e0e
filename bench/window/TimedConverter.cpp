#include "TimedConverter.h"

TimedConverter::TimedConverter(Converter &inner) : m_inner(inner) {}

QString TimedConverter::start()
{
    return m_inner.start();
}

ConversionResult TimedConverter::Convert(const ConversionJob &job)
{
    ConversionRecord record;
    record.start = Stamp::now();
    const ConversionResult result = m_inner.Convert(job);
    record.end = Stamp::now();
    record.input = job.input;
    record.succeeded = result.succeeded();
    m_records.append(record);
    if (m_afterEach)
        m_afterEach(m_records.size());
    return result;
}

qsizetype TimedConverter::jobsAhead() const
{
    return m_inner.jobsAhead();
}

void TimedConverter::foresee(const std::vector<ConversionJob> &upcoming)
{
    m_inner.foresee(upcoming);
}
