#include "production/UnitRecorder.h"

#include <QSerialPortInfo>

namespace tavrin {

UnitRecorder::UnitRecorder(QString logPath, QString command, Clock clock)
    : m_path(std::move(logPath))
    , m_command(std::move(command))
    , m_clock(std::move(clock)) {
    begin();
}

QString UnitRecorder::check() const {
    return records() ? UnitLog(m_path).check() : QString();
}

void UnitRecorder::begin() {
    m_started = QDateTime::currentDateTimeUtc();
    m_start = m_clock();
}

qint64 UnitRecorder::elapsedMilliseconds() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_clock() - m_start).count();
}

UnitLog::Entry UnitRecorder::entryFor(const CommandResult& result, const Facts& facts) const {
    CommandResult logged = result;
    if (logged.device.isEmpty())
        logged.device = m_device;
    return {m_started,
            m_command,
            logged,
            QSerialPortInfo(logged.device).serialNumber(),
            facts.serial,
            facts.before,
            elapsedMilliseconds(),
            facts.state,
            facts.problem};
}

QString UnitRecorder::record(const CommandResult& result, const Facts& facts) const {
    if (!records())
        return {};
    return UnitLog(m_path).append(entryFor(result, facts));
}

QJsonObject UnitRecorder::line(const CommandResult& result, const Facts& facts) const {
    return UnitLog::toJson(entryFor(result, facts));
}

} // namespace tavrin
