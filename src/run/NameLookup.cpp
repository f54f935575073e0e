#include "run/NameLookup.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace {

bool matchFrom(QStringView name, QStringView pattern)
{
    // Iterative glob with one backtracking point per "*", linear in practice.
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == QLatin1Char('?') ||
                                          pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

bool hasWildcard(const QString &text)
{
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'));
}

} // namespace

bool matchesPattern(const QString &name, const QString &pattern)
{
    return matchFrom(name, pattern);
}

bool nameExists(const QString &text)
{
    if (text.isEmpty())
        return false;
    if (!hasWildcard(text))
        return QFileInfo::exists(text) || QFileInfo(text).isSymLink();

    const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QStringLiteral(".") : text.left(slash + 1);
    const QString pattern = text.mid(slash + 1);
    if (hasWildcard(folder) || pattern.isEmpty())
        return false;
    QDirIterator entries(folder,
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        if (matchesPattern(entries.nextFileInfo().fileName(), pattern))
            return true;
    }
    return false;
}
