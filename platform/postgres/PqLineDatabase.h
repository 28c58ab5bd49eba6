#pragma once

#include "platform/LineDatabase.h"

#include <QByteArrayList>

struct pg_conn;
struct pg_result;

namespace tavrin {

// The line's database on PostgreSQL, through libpq. Every value travels as a parameter; the
// numbers as text, since they reach 2^64-1. Calls run asynchronously against a deadline, so a
// server that stops answering ends a call, never the program.
class PqLineDatabase : public LineDatabase {
public:
    PqLineDatabase();
    ~PqLineDatabase() override;

    Error connect(const QString& connection) override;
    bool isConnected() const override;
    Error createSchema(const QString& benchRole) override;
    Error createSequence(const QString& name, quint64 start, std::optional<quint64> last) override;
    std::optional<Sequence> benchSequence(const QString& name, Error* error) override;
    Taken takeNumber(const Record& started, quint64 largest) override;
    Error addOutcome(const Record& outcome) override;
    std::optional<quint64> numberOf(const QUuid& unit, Error* error) override;
    QList<Tally> report(const std::optional<QDateTime>& since, Error* error) override;

private:
    struct ResultDeleter {
        void operator()(pg_result* result) const;
    };
    using Result = std::unique_ptr<pg_result, ResultDeleter>;

    // Runs one statement (or, without parameters, a script); none with `error` set when it failed.
    Result call(const char* sql, const QByteArrayList& parameters, Error* error,
                bool script = false);
    Error failureOf(pg_result* result) const;
    void disconnect();

    pg_conn* m_connection = nullptr;
};

} // namespace tavrin
