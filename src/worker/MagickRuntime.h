#pragma once

#include <QString>

// ImageMagick for the life of the worker: started once, with the security
// policy widened by exactly what thumbnails of PDF files need.
class MagickRuntime
{
public:
    MagickRuntime();
    ~MagickRuntime();
    MagickRuntime(const MagickRuntime &) = delete;
    MagickRuntime &operator=(const MagickRuntime &) = delete;

    // "" when PDF files can be converted, otherwise what stands in the way.
    QString problem() const;
    QString version() const;

    // One of ImageMagick's messages without the source location it appends.
    static QString plainMessage(const char *message);

private:
    QString m_problem;
};
