#pragma once

#include "pool/ImageDecoder.h"

#include <QStringList>

// Fails every decode, keeping the paths it was asked for.
class RecordingDecoder : public ImageDecoder
{
public:
    QStringList paths;

    DecodedImage decodeImage(const QString &path) override
    {
        paths.append(path);
        return {};
    }
};
