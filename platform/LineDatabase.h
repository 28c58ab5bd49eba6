#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <chrono>
#include <memory>
#include <optional>

namespace tavrin {

// A production line's database: named sequences of serial numbers shared by every bench, and one
// append-only record of every unit. The bench speaks these verbs; how they are kept is the
// backend's. Every call ends within its deadline, connected or not.
class LineDatabase {
public:
    // What went wrong, sorted by what the operator can do about it; worded by the caller.
    enum class Failure {
        None,
        NotBuilt,       // this build has no backend
        Unreachable,    // no server at that address, or the connection broke before the call
        Login,          // the server refused the role or its password
        PasswordGiven,  // a password written in the connection string
        BadConnection,  // the connection string does not parse
        NoSchema,       // the database has no line schema: `tavrin line init`
        SchemaVersion,  // a schema of another version
        NoRights,       // the role may not do this
        NoSequence,     // no sequence of that name
        SequenceExists, // a sequence of that name is there already
        UsedUp,         // the sequence has handed out its last number
        TooWide,        // the sequence's next number does not fit the cells it goes in
        Unknown,        // the connection broke during the call: whether it took effect is unknown
        Other,          // the server's words are in detail
    };
    struct Error {
        Failure failure = Failure::None;
        QString detail; // the server's or the library's own words
        bool isError() const { return failure != Failure::None; }
    };

    struct Sequence {
        QString name;
        quint64 start = 0;
        std::optional<quint64> last;
        std::optional<quint64> next; // none once used up
    };

    // One line of the record: a unit's number going on record ("started"), or its outcome.
    struct Record {
        QUuid unit; // made by the bench, so that it can look its unit up after a broken call
        QString sequence;
        QString station;
        std::optional<quint64> serial;
        QString result;
        QString problem;
        QDateTime time;   // when the unit started
        QJsonObject line; // the unit log's line, as a log file would hold it
    };

    struct Taken {
        std::optional<quint64> serial;
        Error error;
    };

    // A sequence's units at one station.
    struct Tally {
        QString sequence;
        QString station;
        int done = 0;
        int failed = 0;
        int unfinished = 0;                 // started with no outcome
        std::optional<quint64> first, last; // the numbers handed out
        std::optional<quint64> left;        // none: no last number
        QDateTime lastTime;
        std::optional<quint64> lastSerial;
        QString lastResult;
    };

    static constexpr std::chrono::seconds CallDeadline{15};
    // Where libpq looks for a user's passwords when PGPASSFILE names no file.
#ifdef _WIN32
    static constexpr const char* UserPasswordFile = "%APPDATA%\\postgresql\\pgpass.conf";
#else
    static constexpr const char* UserPasswordFile = "~/.pgpass";
#endif

    virtual ~LineDatabase() = default;

    virtual Error connect(const QString& connection) = 0;
    virtual bool isConnected() const = 0;
    // Makes the line's tables when missing (and grants `benchRole`, when given, what a bench needs
    // and no more); safe to run again.
    virtual Error createSchema(const QString& benchRole) = 0;
    virtual Error createSequence(const QString& name, quint64 start,
                                 std::optional<quint64> last) = 0;
    // The sequence, when this role may take its numbers and add records.
    virtual std::optional<Sequence> benchSequence(const QString& name, Error* error) = 0;
    // Hands out the sequence's next number, at most `largest`, and puts `started` on record with
    // it, in one transaction: the number is on record, or was never handed out.
    virtual Taken takeNumber(const Record& started, quint64 largest) = 0;
    // Adds the unit's outcome; adding one that is there already changes nothing.
    virtual Error addOutcome(const Record& outcome) = 0;
    // The number on record for the unit, none when it has none.
    virtual std::optional<quint64> numberOf(const QUuid& unit, Error* error) = 0;
    virtual QList<Tally> report(const std::optional<QDateTime>& since, Error* error) = 0;

    // The backend this build has.
    static std::unique_ptr<LineDatabase> make();
};

} // namespace tavrin
