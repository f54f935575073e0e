#include "run/ThumbnailJob.h"

#include "settings/FormatTable.h"

ConversionJob thumbnailJob(const QString &pdf, const QString &output, const QString &geometry)
{
    ConversionJob job;
    job.input = pdf;
    job.geometry = geometry;
    job.output = output;
    job.format = magickFormatOf(job.outputExtension());
    return job;
}
