#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// One thumbnail to make: the convert operation's six arguments, "-thumbnail",
// geometry, "-alpha", "Remove", input + "[0]", output, read once into fields.
struct ConversionJob
{
    QString input;
    bool firstPageOnly = false;
    QString geometry;
    QString output;

    // Empty when the arguments are not of that shape.
    static std::optional<ConversionJob> fromArguments(const QStringList &arguments);

    // The extension of the output's file name, without the dot; "" for none.
    QString outputExtension() const;

    bool operator==(const ConversionJob &) const = default;
};
