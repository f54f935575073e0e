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

    // Lets pending window events run; a cancel click or a close request arrives here.
    virtual void yieldPoint() = 0;
};
