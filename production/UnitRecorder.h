#pragma once

#include "commands/CommandResult.h"
#include "production/UnitLog.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace tavrin {

// The one place a unit's record is made: every line of the unit log, for a plain read, write or
// verify as for a unit of a production run. Without a log path it records nothing.
class UnitRecorder {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // What a line says beyond the command's result.
    struct Facts {
        std::optional<quint64> serial;
        std::optional<QByteArray> before; // the cells backed up before writing
        QString state;                    // see UnitLog::Entry
        QString problem;                  // why the unit failed outside the device
    };

    UnitRecorder(QString logPath, QString command, Clock clock);

    bool records() const { return !m_path.isEmpty(); }
    // Whether the log can take lines; the problem, empty when it can or there is no log.
    QString check() const;
    // A unit starts now: its lines carry this time, and their durations count from it.
    void begin();
    // The device to name in a line whose result names none (a command refused before opening).
    void setDevice(const QString& device) { m_device = device; }
    qint64 elapsedMilliseconds() const;
    // Appends the line; the problem, empty when it was written or there is no log.
    QString record(const CommandResult& result, const Facts& facts = {}) const;
    // The line as record() would write it, log or no log.
    QJsonObject line(const CommandResult& result, const Facts& facts = {}) const;
    QDateTime startTime() const { return m_started; }

private:
    UnitLog::Entry entryFor(const CommandResult& result, const Facts& facts) const;

    QString m_path;
    QString m_command;
    Clock m_clock;
    QString m_device;
    QDateTime m_started;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace tavrin
