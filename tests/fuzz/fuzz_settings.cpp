// The settings reader and writer against any bytes a settings file may hold:
// nothing crashes, a written value reads back, and no other line changes.

#include "settings/rutines.h"

#include <QCoreApplication>
#include <QFile>
#include <QList>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QString Section = QStringLiteral("config");
const std::array<QString, 5> Keys = {QStringLiteral("PDFfolder"), QStringLiteral("ImageFolder"),
                                     QStringLiteral("ThumbHeight"), QStringLiteral("ThumbWidth"),
                                     QStringLiteral("ImageFormat")};

void require(bool holds, const char *invariant)
{
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", invariant);
        std::abort();
    }
}

void setContent(const QByteArray &content)
{
    // A new file rather than a truncated one, which the file system would flush.
    QFile::remove(settingsFilePath());
    QFile file(settingsFilePath());
    require(file.open(QIODevice::WriteOnly), "the fuzzer writes the file");
    file.write(content);
}

QByteArray content()
{
    QFile file(settingsFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Lines with their ends, as a text editor would count them.
QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> result;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        end = end < 0 ? text.size() : end + 1;
        result.append(text.mid(start, end - start));
        start = end;
    }
    return result;
}

bool hasLineEnd(const QByteArray &line, const QByteArray &text)
{
    return line == text + '\n' || line == text + "\r\n";
}

// Equal, or the last line of the file that gained a line end.
bool sameLine(const QByteArray &before, const QByteArray &after)
{
    return after == before || (!before.endsWith('\n') && hasLineEnd(after, before));
}

// The lines after, without count lines at from, are the lines before.
bool sameWithout(const QList<QByteArray> &before, const QList<QByteArray> &after, qsizetype from,
                 qsizetype count)
{
    if (after.size() != before.size() + count)
        return false;
    for (qsizetype b = 0; b < before.size(); ++b) {
        if (!sameLine(before[b], after[b < from ? b : b + count]))
            return false;
    }
    return true;
}

// The file after the write is the file before with the key's own line
// replaced, inserted, or appended under a new section line.
bool onlyTheKeyLineChanged(const QByteArray &beforeText, const QByteArray &afterText,
                           const QByteArray &keyLine)
{
    const QList<QByteArray> before = lines(beforeText);
    const QList<QByteArray> after = lines(afterText);
    if (after.size() == before.size()) {
        qsizetype changed = 0;
        for (qsizetype i = 0; i < after.size(); ++i) {
            if (after[i] != before[i] && !(hasLineEnd(after[i], keyLine) && ++changed == 1))
                return false;
        }
        return true;
    }
    for (qsizetype i = 0; i < after.size(); ++i) {
        if (hasLineEnd(after[i], keyLine) && sameWithout(before, after, i, 1))
            return true;
    }
    const qsizetype last = after.size() - 1;
    return last >= 1 && hasLineEnd(after[last - 1], "[config]") &&
           hasLineEnd(after[last], keyLine) && sameWithout(before, after, last - 1, 2);
}

// A value the writer accepts: no line break, as it refuses those.
QString valueFrom(const QByteArray &input)
{
    QString value = QString::fromUtf8(input.right(24));
    value.remove(QLatin1Char('\n'));
    value.remove(QLatin1Char('\r'));
    return value;
}

} // namespace

// Durability is not under test here, and waiting for the disk would cut the
// number of inputs tried a hundredfold: the file is still written and renamed
// in place, only not flushed.
extern "C" int fdatasync(int)
{
    return 0;
}
extern "C" int fsync(int)
{
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static int count = *argc;
    static QCoreApplication application(count, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    setContent(input);

    std::array<QString, 5> valuesBefore;
    for (std::size_t i = 0; i < Keys.size(); ++i)
        valuesBefore[i] = ReadSetting(Section, Keys[i]);

    const std::size_t written = input.isEmpty() ? 0 : std::uint8_t(input[0]) % Keys.size();
    const QString value = valueFrom(input);
    WriteSetting(Section, Keys[written], value);
    const QByteArray afterWrite = content();

    require(ReadSetting(Section, Keys[written]) == value, "a written value reads back");
    for (std::size_t i = 0; i < Keys.size(); ++i) {
        if (i != written)
            require(ReadSetting(Section, Keys[i]) == valuesBefore[i],
                    "other keys keep their value");
    }
    const QByteArray keyLine = Keys[written].toUtf8() + '=' + value.toUtf8();
    require(onlyTheKeyLineChanged(input, afterWrite, keyLine), "no line but the key's own changes");

    // Now the file holds the key: a second write replaces that line alone.
    WriteSetting(Section, Keys[written], value);
    require(ReadSetting(Section, Keys[written]) == value, "a rewritten value reads back");
    require(lines(content()).size() == lines(afterWrite).size() &&
                onlyTheKeyLineChanged(afterWrite, content(), keyLine),
            "a rewrite replaces the key's line in place");
    return 0;
}
