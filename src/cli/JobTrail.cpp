#include "cli/JobTrail.h"

#include <utility>

ConversionResult JobTrail::Convert(const ConversionJob &job)
{
    m_convertedPdf = job.input;
    return m_converter.Convert(job);
}

QString JobTrail::takeConvertedPdf()
{
    return std::exchange(m_convertedPdf, QString());
}
