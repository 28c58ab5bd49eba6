#pragma once

#include "commands/CommandResult.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace tavrin {

// One line of JSON per unit, appended and synced as it is written, so that a log cut short by a
// kill still reads line by line.
class UnitLog {
public:
    struct Entry {
        QDateTime time; // when the unit started, UTC
        QString command;
        CommandResult result;
        QString adapterSerial; // the USB serial number of the adapter, when it has one
        std::optional<quint64> serial;
        std::optional<QByteArray> before; // the cells backed up before writing
        qint64 milliseconds = 0;
        // The result word when it is not the command's: "started" for the line that puts a
        // number on record before the unit's first byte, "refused" for a command refused before
        // it reached the device.
        QString state;
        QString problem; // why the unit failed outside the device, in the operator's words
    };

    explicit UnitLog(QString path);

    // The error for the operator, empty on success.
    QString append(const Entry& entry) const;
    // Whether lines can be appended; creates nothing. The error for the operator, empty when
    // they can.
    QString check() const;
    static QJsonObject toJson(const Entry& entry);
    // The result as the log and the batch's lines word it: done, differences, timeout, port, file.
    static QString resultWord(const CommandResult& result);

private:
    QString m_path;
};

} // namespace tavrin
