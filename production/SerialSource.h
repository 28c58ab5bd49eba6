#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace tavrin {

// Where a unit's serial number comes from, and where its record goes besides the log: a counter
// file on this PC, or a line's database that every bench shares.
class SerialSource {
public:
    // A line of a unit's record, as the unit log words it.
    struct Line {
        QUuid unit;
        QDateTime time; // when the unit started
        std::optional<quint64> serial;
        QString result;
        QString problem;
        QJsonObject json;
    };
    struct Taken {
        std::optional<quint64> serial;
        QString problem; // for the operator, when no number was handed out
        // The source could not be reached: the unit may wait for it and try again.
        bool unreachable = false;
    };

    virtual ~SerialSource() = default;

    // Whether a number can be handed out now: a shared source is reached and has every record
    // this bench kept for it. The problem, empty when it can.
    virtual QString prepare() { return {}; }
    // The number take() is expected to hand out next; none once used up.
    virtual std::optional<quint64> next() const = 0;
    // Hands out the next number, at most `largest`, once the source holds it as spent; a source
    // that keeps records puts `started` on record with it in the same step.
    virtual Taken take(quint64 largest, const Line& started) = 0;
    // Keeps the unit's outcome where the source keeps records; the problem, empty when it is
    // kept, delivered or waiting on this PC to be.
    virtual QString recordOutcome(const Line&) { return {}; }
};

} // namespace tavrin
