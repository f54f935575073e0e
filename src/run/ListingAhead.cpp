#include "run/ListingAhead.h"

ListingAhead::ListingAhead(const QString &root, const QString &pattern) : m_order(root, pattern) {}

void ListingAhead::listOn(int steps)
{
    for (int taken = 0; taken < steps && !m_ended; ++taken)
        step();
}

bool ListingAhead::listOneMore()
{
    const quint64 before = m_listed;
    while (!m_ended && m_listed == before)
        step();
    return m_listed != before;
}

void ListingAhead::passTo(const QByteArray &nativePath)
{
    const auto found = m_sequences.constFind(nativePath);
    if (found == m_sequences.cend())
        return;
    const quint64 passed = *found;
    while (!m_entries.empty() && m_entries.front().sequence <= passed) {
        m_sequences.remove(m_entries.front().folder.native + m_entries.front().name);
        m_entries.pop_front();
    }
}

std::optional<qint64> ListingAhead::total() const
{
    return m_ended ? std::optional<qint64>(qint64(m_listed)) : std::nullopt;
}

void ListingAhead::step()
{
    switch (m_order.next()) {
    case VisitingOrder::Step::ListedEntry:
    case VisitingOrder::Step::EnteringSubfolder:
        break;
    case VisitingOrder::Step::MatchingEntry:
        if (isDotEntry(m_order.name()))
            break;
        m_entries.push_back({m_order.folder(), m_order.name(), std::nullopt, QString(), m_listed});
        m_sequences.insert(m_order.folder().native + m_order.name(), m_listed);
        ++m_listed;
        break;
    case VisitingOrder::Step::End:
        m_ended = true;
        break;
    }
}
