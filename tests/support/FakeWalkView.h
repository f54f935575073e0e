#pragma once

#include "run/WalkView.h"

#include <QList>
#include <QStringList>
#include <QTest>

// Keeps a log of what the walk did to the window, in order, and checks that
// rows are added and marked one after another.
class FakeWalkView : public WalkView
{
public:
    QString imageFolder = QStringLiteral("/out");
    QString width = QStringLiteral("88");
    QString height;
    QString format = QStringLiteral("png");
    bool cancel = false;
    QStringList log;
    QStringList rows;
    QList<bool> marks;
    QStringList reasons;
    qint64 total = -1;

    QString imageFolderText() const override { return imageFolder; }
    QString widthText() const override { return width; }
    QString heightText() const override { return height; }
    QString currentFormat() const override { return format; }
    void appendResultRow(qint64 position, const QString &text) override
    {
        QCOMPARE_EQ(position, rows.size() + 1);
        rows.append(text);
        log.append(QStringLiteral("append ") + text);
    }
    void selectAndRevealRow(qint64 position) override
    {
        log.append(QStringLiteral("select %1").arg(position));
    }
    void markResultRow(qint64 position, bool succeeded, const QString &reason) override
    {
        QCOMPARE_EQ(position, marks.size() + 1);
        marks.append(succeeded);
        reasons.append(reason);
        log.append(QStringLiteral("mark %1 %2").arg(position).arg(succeeded ? "ok" : "failed"));
    }
    void runTotalKnown(qint64 told) override { total = told; }
    void yieldPoint() override { log.append(QStringLiteral("yield")); }
};
