#pragma once

#include "platform/LineDatabase.h"
#include "production/SerialSource.h"

#include <QString>

namespace tavrin {

// Serial numbers from a sequence in the line's database, shared by every bench on the line. A
// number is taken together with its "started" record, in one transaction. An outcome the
// database cannot take now waits in this bench's spool, a synced file on this PC, and is
// delivered before the bench takes its next number.
class LineCounter : public SerialSource {
public:
    struct Place {
        QString connection;
        QString sequence;
        QString station;
        QString spoolPath;
    };

    LineCounter(LineDatabase& database, Place place);

    // Connects, checks the sequence and this role's rights, and delivers the spool. The problem
    // for the operator, empty when the bench may go on.
    QString open();
    QString prepare() override;
    std::optional<quint64> next() const override { return m_next; }
    Taken take(quint64 largest, const Line& started) override;
    QString recordOutcome(const Line& outcome) override;

    // The spool of the bench on `device` for this place, in this user's data folder.
    static QString defaultSpool(const Place& place, const QString& device);
    static QString describe(const LineDatabase::Error& error, const QString& sequence);

private:
    LineDatabase::Record recordOf(const Line& line) const;
    QString deliver();
    QString spool(const QString& kind, const LineDatabase::Record& record);

    LineDatabase& m_database;
    Place m_place;
    std::optional<quint64> m_next;
};

} // namespace tavrin
