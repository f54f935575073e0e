#pragma once

#include <QString>

// One thumbnail to make: page 1 of the input, scaled into the geometry
// ("88x", "x125", "88x125"), written to the output. The worker alone turns it
// into convert's arguments.
struct ConversionJob
{
    QString input;
    QString geometry;
    QString output;
    // ImageMagick's name for the format the output's extension stands for
    // ("PNG", "MIFF"); "" for an extension this program does not know, which
    // ImageMagick then interprets itself.
    QString format;

    // The extension of the output's file name, without the dot; "" for none.
    QString outputExtension() const;
    // The most bytes a thumbnail of this geometry can take in any format
    // ImageMagick writes, for a page no more than a hundred times longer than
    // wide; a geometry other than plain numbers gets the most any takes.
    qint64 largestThumbnailSize() const;

    bool operator==(const ConversionJob &) const = default;
};
