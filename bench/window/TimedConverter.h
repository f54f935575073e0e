#pragma once

#include "Clocks.h"
#include "run/Converter.h"

#include <QList>
#include <QString>

#include <functional>

struct ConversionRecord
{
    Stamp start;
    Stamp end;
    QString input;
    bool succeeded = false;
};
// Grown by moving its bytes, not by copying each record: a copy of 65,536
// records showed up as a 13 ms gap of the run being measured.
Q_DECLARE_TYPEINFO(ConversionRecord, Q_RELOCATABLE_TYPE);

// Passes every call on to the real converter and notes when it started and
// ended, so that the time outside the converter can be told from the time in it.
class TimedConverter : public Converter
{
public:
    explicit TimedConverter(Converter &inner);

    QString start() override;
    ConversionResult Convert(const ConversionJob &job) override;
    // The look-ahead is the pool's: without it, the workers wait for the walk.
    qsizetype jobsAhead() const override;
    void foresee(const std::vector<ConversionJob> &upcoming) override;

    const QList<ConversionRecord> &records() const { return m_records; }
    void clearRecords() { m_records.clear(); }
    // Called after each conversion with the number done so far, outside the timed part.
    void setAfterEach(std::function<void(qsizetype)> afterEach)
    {
        m_afterEach = std::move(afterEach);
    }

private:
    Converter &m_inner;
    QList<ConversionRecord> m_records;
    std::function<void(qsizetype)> m_afterEach;
};
