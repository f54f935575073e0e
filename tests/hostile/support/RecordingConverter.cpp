#include "RecordingConverter.h"

#include <QElapsedTimer>

QString RecordingConverter::Call::input() const
{
    return arguments.value(4).chopped(3);
}

QString RecordingConverter::Call::output() const
{
    return arguments.value(5);
}

RecordingConverter::RecordingConverter(Converter &converter) : m_converter(converter) {}

QString RecordingConverter::start()
{
    return m_converter.start();
}

ConversionResult RecordingConverter::Convert(const QStringList &arguments)
{
    if (beforeConvert)
        beforeConvert(arguments);
    QElapsedTimer clock;
    clock.start();
    Call call{arguments, m_converter.Convert(arguments), 0};
    call.milliseconds = clock.elapsed();
    calls.append(call);
    if (afterConvert)
        afterConvert(calls.last());
    return call.result;
}

const RecordingConverter::Call *RecordingConverter::callFor(const QString &inputEnd) const
{
    for (const Call &call : calls) {
        if (call.input().endsWith(inputEnd))
            return &call;
    }
    return nullptr;
}

void RecordingConverter::foresee(Forecast forecast)
{
    m_converter.foresee(std::move(forecast));
}
