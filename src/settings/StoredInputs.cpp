#include "settings/StoredInputs.h"

#include "settings/rutines.h"

namespace {

const QString Section = QStringLiteral("config");
const QString PdfFolderKey = QStringLiteral("PDFfolder");
const QString ImageFolderKey = QStringLiteral("ImageFolder");
const QString ThumbHeightKey = QStringLiteral("ThumbHeight");
const QString ThumbWidthKey = QStringLiteral("ThumbWidth");
const QString ImageFormatKey = QStringLiteral("ImageFormat");
const QString SkipUpToDateKey = QStringLiteral("SkipUpToDate");
const QString KeepSubfoldersKey = QStringLiteral("KeepSubfolders");

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

namespace StoredInputs {

RunInputs loadRunInputs()
{
    return {ReadSetting(Section, PdfFolderKey), ReadSetting(Section, ImageFolderKey),
            ReadSetting(Section, ThumbHeightKey), ReadSetting(Section, ThumbWidthKey)};
}

void saveRunInputs(const RunInputs &inputs)
{
    writeSettings(Section, {{PdfFolderKey, inputs.pdfFolder},
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

RunOptions loadRunOptions()
{
    RunOptions options;
    options.skipUpToDate = ReadSetting(Section, SkipUpToDateKey) == flag(true);
    options.keepSubfolders = ReadSetting(Section, KeepSubfoldersKey) == flag(true);
    return options;
}

void saveRunOptions(const RunOptions &options)
{
    writeSettings(Section, {{SkipUpToDateKey, flag(options.skipUpToDate)},
                            {KeepSubfoldersKey, flag(options.keepSubfolders)}});
}

} // namespace StoredInputs
