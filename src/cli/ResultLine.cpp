#include "cli/ResultLine.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString statusName(ResultLine::Status status)
{
    switch (status) {
    case ResultLine::Status::Ok:
        return QStringLiteral("ok");
    case ResultLine::Status::Failed:
        return QStringLiteral("failed");
    case ResultLine::Status::Skipped:
        break;
    }
    return QStringLiteral("skipped");
}

bool needsQuotes(const QString &field)
{
    return field.contains(QLatin1Char('\t')) || field.contains(QLatin1Char('\n')) ||
           field.contains(QLatin1Char('\r')) || field.startsWith(QLatin1Char('"'));
}

QString quoted(const QString &field)
{
    QString text = QStringLiteral("\"");
    for (const QChar c : field) {
        switch (c.unicode()) {
        case '\\':
            text += QLatin1String("\\\\");
            break;
        case '"':
            text += QLatin1String("\\\"");
            break;
        case '\t':
            text += QLatin1String("\\t");
            break;
        case '\n':
            text += QLatin1String("\\n");
            break;
        case '\r':
            text += QLatin1String("\\r");
            break;
        default:
            text += c;
        }
    }
    return text + QLatin1Char('"');
}

QString field(const QString &text)
{
    return needsQuotes(text) ? quoted(text) : text;
}

} // namespace

QByteArray ResultLine::tabSeparated() const
{
    const QString line = statusName(status) + QLatin1Char('\t') + field(pdfPath) +
                         QLatin1Char('\t') + field(thumbnailPath) + QLatin1Char('\t') +
                         field(reason) + QLatin1Char('\n');
    return line.toUtf8();
}

QByteArray ResultLine::json() const
{
    const QJsonObject object{{QStringLiteral("status"), statusName(status)},
                             {QStringLiteral("pdf"), pdfPath},
                             {QStringLiteral("thumbnail"), thumbnailPath},
                             {QStringLiteral("reason"), reason}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}
