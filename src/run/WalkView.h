#pragma once

#include <QString>

// The part of the main window the folder walk works with. Positions are the
// 1-based row numbers of the results list.
class WalkView
{
public:
    virtual ~WalkView() = default;

    virtual QString imageFolderText() const = 0;
    virtual QString widthText() const = 0;
    virtual QString heightText() const = 0;
    // The output format's extension, read anew for every entry: a format
    // chosen during a run applies from the next entry on.
    virtual QString currentFormat() const = 0;

    virtual void appendResultRow(qint64 position, const QString &text) = 0;
    virtual void selectAndRevealRow(qint64 position) = 0;
    virtual void markResultRow(qint64 position, bool succeeded, const QString &failureReason) = 0;
    // The PDF a row stands for, and where its thumbnail is, relative to the
    // image folder; told once the row's inputs are read.
    virtual void describeResultRow(qint64 position, const QString &pdfPath,
                                   const QString &relativeOutput)
    {
        Q_UNUSED(position)
        Q_UNUSED(pdfPath)
        Q_UNUSED(relativeOutput)
    }
    // Instead of a mark: the row's thumbnail was up to date and not converted.
    virtual void markUpToDateRow(qint64 position) { markResultRow(position, true, QString()); }

    // How many PDFs the run handles in all, told once known: when the walk's
    // listing ahead of it reaches the end of the tree, or else when a walk
    // that was not cancelled ends. A cancelled run may never tell it.
    virtual void runTotalKnown(qint64 total) { Q_UNUSED(total) }

    // Lets pending window events run; a cancel click or a close request arrives here.
    virtual void yieldPoint() = 0;
};
