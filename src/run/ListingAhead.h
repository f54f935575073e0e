#pragma once

#include "protocol/ConversionJob.h"
#include "run/VisitingOrder.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <deque>
#include <optional>

// The walk's listing of the tree ahead of the walk itself, in the same
// visiting order: the entries the walk will meet next, for the converter to
// work on before the walk gets there, and how many the whole tree holds once
// the listing has reached its end. The walk lists each folder again when it
// gets there, so that it handles the folder as it is then.
class ListingAhead
{
public:
    struct Entry
    {
        VisitingOrder::Folder folder;
        QByteArray name;
        // The walk's job for it, when it needs converting, and the inputs
        // (format, size, image folder) it was made with.
        std::optional<ConversionJob> job;
        QString madeWith;
        quint64 sequence = 0;
    };

    ListingAhead(const QString &root, const QString &pattern);

    // Lists on for at most the given number of steps.
    void listOn(int steps);
    // Lists on until it holds one more entry; false at the end of the tree.
    bool listOneMore();
    // The walk has reached this entry: it and those listed before it are
    // behind the walk. An entry not listed, one new to the tree, passes none.
    void passTo(const QByteArray &nativePath);

    std::deque<Entry> &entries() { return m_entries; }
    // The entries of the whole tree, once it is listed to its end.
    std::optional<qint64> total() const;

private:
    void step();

    VisitingOrder m_order;
    std::deque<Entry> m_entries;
    // Of each entry held, by its path's bytes: where it stands in the listing.
    QHash<QByteArray, quint64> m_sequences;
    quint64 m_listed = 0;
    bool m_ended = false;
};
