// The output-name rule and the pattern match against any name a folder can
// hold: nothing crashes, and for every name the walk takes, whatever the
// format, the thumbnail is written directly into the output folder or not at
// all; its name ends in the format and can never be the PDF itself.

#include "run/NameLookup.h"
#include "run/OutputPath.h"
#include "settings/FormatTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool holds, const char *invariant)
{
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", invariant);
        std::abort();
    }
}

// What the walk gets from a directory entry: no "/" and no NUL can be in it.
QString entryName(QByteArray bytes)
{
    bytes.replace('/', '_');
    bytes.replace('\0', '_');
    return QFile::decodeName(bytes);
}

void checkOutputName(const QString &name, const QString &format, bool fromTable)
{
    const QString output = outputFileName(name, format);
    require(output.size() == qMax<qsizetype>(0, name.size() - 3) + format.size(),
            "exactly three characters are dropped");
    if (!matchesPattern(name, QStringLiteral("*.pdf")))
        return;
    require(output.endsWith(QLatin1Char('.') + format), "the output ends in the format");
    if (fromTable)
        require(isPlainFileName(output), "a format of the table always gives a file name");
    if (!isPlainFileName(output))
        return; // the walk refuses it and writes nothing
    // As typed, the folder may end in "/" and need not be absolute.
    for (const QString &folder : {QStringLiteral("/home/user/thumbs"), QStringLiteral("thumbs/")}) {
        const QFileInfo written(QDir::cleanPath(outputFilePath(folder, output)));
        require(written.path() == QDir::cleanPath(folder) && written.fileName() == output,
                "the thumbnail is written directly into the output folder");
    }
    require(!output.contains(QChar(0)), "the file system takes the output name whole");
    require(QFile::decodeName(QFile::encodeName(output)) == output,
            "the output name can be written to disk as it is shown");
    if (fromTable)
        require(output != name, "a thumbnail never takes its PDF's name");
}

} // namespace

// Input: a format choice, then the name; after a 0xFF byte, a pattern.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const qsizetype split = input.indexOf('\xff');
    const QString name = entryName(split < 0 ? input : input.left(split));

    const std::size_t choice = data[0] % (FormatTable.size() + 1);
    if (choice < FormatTable.size()) {
        checkOutputName(name, QString::fromLatin1(FormatTable[choice].extension), true);
    } else {
        // A format edited into the settings file by hand, taken as it is.
        const QString format = split < 0 ? QString() : QString::fromUtf8(input.mid(split + 1));
        checkOutputName(name, format, false);
    }

    require(matchesPattern(name, QStringLiteral("*")), "\"*\" matches every name");
    if (!name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?')))
        require(matchesPattern(name, name), "a name without wildcards matches itself");
    if (split >= 0)
        matchesPattern(name, QString::fromUtf8(input.mid(split + 1)));
    return 0;
}
