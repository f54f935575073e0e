#include "settings/StoredInputs.h"

#include "settings/rutines.h"

namespace {

const QString Section = QStringLiteral("config");
const QString PdfFolderKey = QStringLiteral("PDFfolder");
const QString ImageFolderKey = QStringLiteral("ImageFolder");
const QString ThumbHeightKey = QStringLiteral("ThumbHeight");
const QString ThumbWidthKey = QStringLiteral("ThumbWidth");
const QString ImageFormatKey = QStringLiteral("ImageFormat");

} // namespace

namespace StoredInputs {

RunInputs loadRunInputs()
{
    return {ReadSetting(Section, PdfFolderKey), ReadSetting(Section, ImageFolderKey),
            ReadSetting(Section, ThumbHeightKey), ReadSetting(Section, ThumbWidthKey)};
}

void saveRunInputs(const RunInputs &inputs)
{
    WriteSettings(Section, {{PdfFolderKey, inputs.pdfFolder},
                            {ImageFolderKey, inputs.imageFolder},
                            {ThumbHeightKey, inputs.thumbHeight},
                            {ThumbWidthKey, inputs.thumbWidth}});
}

QString loadImageFormat()
{
    return ReadSetting(Section, ImageFormatKey);
}

void saveImageFormat(const QString &format)
{
    WriteSetting(Section, ImageFormatKey, format);
}

} // namespace StoredInputs
