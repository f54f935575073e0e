#pragma once

#include <QString>

#include <cstring>

// What the C library says of an errno value, in the user's language.
inline QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
