#pragma once

#include <QString>

// One thumbnail to make: page 1 of the input, scaled into the geometry
// ("88x", "x125", "88x125"), written to the output in the format its
// extension names. The worker alone turns it into convert's arguments.
struct ConversionJob
{
    QString input;
    bool firstPageOnly = true;
    QString geometry;
    QString output;

    // The extension of the output's file name, without the dot; "" for none.
    QString outputExtension() const;

    bool operator==(const ConversionJob &) const = default;
};
