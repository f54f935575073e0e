#include "settings/rutines.h"

#include "settings/InstallLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

#include <optional>

namespace {

// One line of the file as it stands, its line end included, so that lines we
// do not touch are written back byte for byte.
QList<QByteArray> splitLines(const QByteArray &content)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        end = end < 0 ? content.size() : end + 1;
        lines.append(content.mid(start, end - start));
        start = end;
    }
    return lines;
}

QByteArray withoutLineEnd(const QByteArray &line)
{
    QByteArray text = line;
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    return text;
}

std::optional<QByteArray> sectionName(const QByteArray &line)
{
    const QByteArray text = withoutLineEnd(line).trimmed();
    if (text.size() < 2 || !text.startsWith('[') || !text.endsWith(']'))
        return std::nullopt;
    return text.mid(1, text.size() - 2).trimmed();
}

bool isNamed(const QByteArray &name, const QString &wanted)
{
    return QString::fromUtf8(name).compare(wanted, Qt::CaseInsensitive) == 0;
}

// The value of a "key=value" line for the wanted key; comments never match.
std::optional<QByteArray> valueFor(const QByteArray &line, const QString &key)
{
    const QByteArray text = withoutLineEnd(line);
    const QByteArray trimmed = text.trimmed();
    if (trimmed.startsWith(';') || trimmed.startsWith('#'))
        return std::nullopt;
    const qsizetype equals = text.indexOf('=');
    if (equals < 0 || !isNamed(text.left(equals).trimmed(), key))
        return std::nullopt;
    return text.mid(equals + 1);
}

struct KeyLocation
{
    std::optional<qsizetype> sectionLine;
    std::optional<qsizetype> keyLine;
    qsizetype insertAt = 0;
};

KeyLocation locate(const QList<QByteArray> &lines, const QString &section, const QString &key)
{
    KeyLocation found;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const auto name = sectionName(lines[i])) {
            if (found.sectionLine)
                break;
            inSection = isNamed(*name, section);
            if (inSection) {
                found.sectionLine = i;
                found.insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (valueFor(lines[i], key)) {
            found.keyLine = i;
            return found;
        }
        if (!withoutLineEnd(lines[i]).trimmed().isEmpty())
            found.insertAt = i + 1;
    }
    return found;
}

QByteArray lineEndOf(const QList<QByteArray> &lines)
{
    for (const QByteArray &line : lines) {
        if (line.endsWith("\r\n"))
            return "\r\n";
        if (line.endsWith('\n'))
            return "\n";
    }
    return "\n";
}

bool holdsLineBreak(const QString &value)
{
    return value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r'));
}

// Adds or replaces the key's line in the lines of the file.
void setLine(QList<QByteArray> &lines, const QString &section, const QString &key,
             const QString &value)
{
    // A line break in the value would split it into lines of its own.
    if (holdsLineBreak(value))
        return;
    const QByteArray lineEnd = lineEndOf(lines);
    const QByteArray keyLine = key.toUtf8() + '=' + value.toUtf8() + lineEnd;
    const KeyLocation location = locate(lines, section, key);
    const qsizetype insertAt = location.sectionLine ? location.insertAt : lines.size();
    if (!location.keyLine && insertAt == lines.size() && !lines.isEmpty() &&
        !lines.last().endsWith('\n'))
        lines.last().append(lineEnd);

    if (location.keyLine) {
        lines[*location.keyLine] = keyLine;
    } else if (location.sectionLine) {
        lines.insert(insertAt, keyLine);
    } else {
        lines.append('[' + section.toUtf8() + ']' + lineEnd);
        lines.append(keyLine);
    }
}

// Written beside the old file and renamed over it: never half-written.
// Unbuffered, so that a full disk fails the write itself: a buffered write's
// failure can go unnoticed by commit(), which then replaces the old file with
// a cut one.
void replaceFile(const QString &path, const QList<QByteArray> &lines)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    for (const QByteArray &line : lines) {
        if (file.write(line) != line.size()) {
            file.cancelWriting();
            break;
        }
    }
    file.commit();
}

} // namespace

QString settingsFilePath()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    return settingsFilePathFor(programFolder, QFileInfo(programFolder).isWritable(),
                               InstallLayout::isInstalledCopy(programFolder));
}

QString settingsFilePathFor(const QString &programFolder, bool programFolderWritable,
                            bool installed)
{
    const QString beside = programFolder + QStringLiteral("/settings.ini");
    if (!installed && (programFolderWritable || QFileInfo::exists(beside)))
        return beside;
    const QString configFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    // Without a home there is nowhere better.
    if (configFolder.isEmpty())
        return beside;
    return configFolder + QStringLiteral("/leafmark/settings.ini");
}

QString ReadSetting(const QString &section, const QString &key)
{
    QFile file(settingsFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QList<QByteArray> lines = splitLines(file.readAll());
    const KeyLocation location = locate(lines, section, key);
    if (!location.keyLine)
        return QString();
    // A value may begin with U+FEFF, which the plain decoder drops as a byte order mark.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(*valueFor(lines[*location.keyLine], key));
}

void WriteSetting(const QString &section, const QString &key, const QString &value)
{
    writeSettings(section, {{key, value}});
}

void writeSettings(const QString &section, const SettingValues &values)
{
    const QString path = settingsFilePath();
    QDir().mkpath(QFileInfo(path).path());
    QList<QByteArray> lines;
    QFile current(path);
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly))
            return;
        lines = splitLines(current.readAll());
        current.close();
    }
    const QList<QByteArray> before = lines;
    for (const auto &[key, value] : values)
        setLine(lines, section, key, value);
    if (lines != before)
        replaceFile(path, lines);
}
