#include "platform/postgres/PqLineDatabase.h"

#include <QJsonDocument>

#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

namespace tavrin {

namespace {

constexpr int SchemaVersion = 1;

// The line's tables and the two functions through which a bench takes numbers and adds records.
// A bench's role may call those and read; nobody may change or delete a unit's record.
constexpr const char* SchemaScript = R"sql(
SELECT pg_advisory_xact_lock(7461767269);
CREATE SCHEMA IF NOT EXISTS tavrin;
CREATE TABLE IF NOT EXISTS tavrin.schema_version (version integer NOT NULL);
INSERT INTO tavrin.schema_version SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM tavrin.schema_version);
CREATE TABLE IF NOT EXISTS tavrin.sequence (
    name text PRIMARY KEY,
    start numeric(20, 0) NOT NULL CHECK (start BETWEEN 0 AND 18446744073709551615),
    last numeric(20, 0) CHECK (last BETWEEN start AND 18446744073709551615),
    next numeric(21, 0) NOT NULL,
    created timestamptz NOT NULL DEFAULT now()
);
CREATE TABLE IF NOT EXISTS tavrin.unit (
    id bigserial PRIMARY KEY,
    unit_id uuid NOT NULL,
    stage text NOT NULL CHECK (stage IN ('started', 'outcome')),
    sequence text NOT NULL REFERENCES tavrin.sequence (name),
    station text NOT NULL,
    serial numeric(20, 0),
    result text NOT NULL,
    problem text,
    time timestamptz NOT NULL,
    recorded timestamptz NOT NULL DEFAULT now(),
    line jsonb NOT NULL,
    UNIQUE (unit_id, stage)
);
CREATE INDEX IF NOT EXISTS unit_by_serial ON tavrin.unit (sequence, serial);
CREATE INDEX IF NOT EXISTS unit_by_time ON tavrin.unit (time);
CREATE OR REPLACE FUNCTION tavrin.refuse_change() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    RAISE EXCEPTION 'the record of units is never changed or deleted'
        USING ERRCODE = 'insufficient_privilege';
END $$;
CREATE OR REPLACE TRIGGER unit_append_only BEFORE UPDATE OR DELETE ON tavrin.unit
    FOR EACH ROW EXECUTE FUNCTION tavrin.refuse_change();
CREATE OR REPLACE TRIGGER unit_never_truncated BEFORE TRUNCATE ON tavrin.unit
    FOR EACH STATEMENT EXECUTE FUNCTION tavrin.refuse_change();
CREATE OR REPLACE FUNCTION tavrin.take_number(p_sequence text, p_unit uuid, p_station text,
        p_largest numeric, p_time timestamptz, p_line jsonb) RETURNS numeric
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    s tavrin.sequence;
BEGIN
    SELECT * INTO s FROM tavrin.sequence WHERE name = p_sequence FOR UPDATE;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'there is no sequence %', p_sequence USING ERRCODE = 'TV001';
    END IF;
    IF s.next > coalesce(s.last, 18446744073709551615) THEN
        RAISE EXCEPTION 'the sequence % is used up', p_sequence USING ERRCODE = 'TV002';
    END IF;
    IF s.next > p_largest THEN
        RAISE EXCEPTION '% does not fit', s.next USING ERRCODE = 'TV003';
    END IF;
    UPDATE tavrin.sequence SET next = s.next + 1 WHERE name = p_sequence;
    INSERT INTO tavrin.unit (unit_id, stage, sequence, station, serial, result, time, line)
        VALUES (p_unit, 'started', p_sequence, p_station, s.next, 'started', p_time,
                p_line || jsonb_build_object('serial', s.next));
    RETURN s.next;
END $$;
CREATE OR REPLACE FUNCTION tavrin.add_outcome(p_unit uuid, p_sequence text, p_station text,
        p_serial numeric, p_result text, p_problem text, p_time timestamptz, p_line jsonb)
        RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    IF p_result = 'started' THEN
        RAISE EXCEPTION 'an outcome is not "started"' USING ERRCODE = 'invalid_parameter_value';
    END IF;
    IF p_serial IS NOT NULL AND NOT EXISTS (SELECT 1 FROM tavrin.unit WHERE unit_id = p_unit
            AND stage = 'started' AND serial = p_serial) THEN
        RAISE EXCEPTION 'unit % was not given number %', p_unit, p_serial
            USING ERRCODE = 'invalid_parameter_value';
    END IF;
    INSERT INTO tavrin.unit (unit_id, stage, sequence, station, serial, result, problem, time, line)
        VALUES (p_unit, 'outcome', p_sequence, p_station, p_serial, p_result, p_problem, p_time,
                p_line)
        ON CONFLICT (unit_id, stage) DO NOTHING;
END $$;
CREATE OR REPLACE FUNCTION tavrin.grant_bench(p_role text) RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    EXECUTE format('GRANT USAGE ON SCHEMA tavrin TO %I', p_role);
    EXECUTE format('GRANT SELECT ON tavrin.schema_version, tavrin.sequence, tavrin.unit TO %I',
                   p_role);
    EXECUTE format('GRANT EXECUTE ON FUNCTION tavrin.take_number(text, uuid, text, numeric, '
                   'timestamptz, jsonb), tavrin.add_outcome(uuid, text, text, numeric, text, '
                   'text, timestamptz, jsonb) TO %I', p_role);
END $$;
REVOKE ALL ON FUNCTION tavrin.take_number(text, uuid, text, numeric, timestamptz, jsonb),
    tavrin.add_outcome(uuid, text, text, numeric, text, text, timestamptz, jsonb),
    tavrin.grant_bench(text) FROM PUBLIC;
)sql";

QByteArray number(quint64 value) {
    return QByteArray::number(value);
}

std::optional<quint64> numberIn(pg_result* result, int row, int column) {
    if (PQgetisnull(result, row, column))
        return std::nullopt;
    bool ok = false;
    const quint64 value = QByteArray(PQgetvalue(result, row, column)).toULongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

QString textIn(pg_result* result, int row, int column) {
    return QString::fromUtf8(PQgetvalue(result, row, column));
}

QByteArray timeText(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs).toUtf8();
}

QByteArray lineText(const QJsonObject& line) {
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}

// Waits until the connection's socket can be read (or written); false at the deadline.
bool waitFor(pg_conn* connection, bool write, std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return false;
#ifdef _WIN32
    WSAPOLLFD socket{SOCKET(PQsocket(connection)), SHORT(write ? POLLWRNORM : POLLRDNORM), 0};
    return ::WSAPoll(&socket, 1, int(left.count())) > 0;
#else
    pollfd socket{PQsocket(connection), short(write ? POLLOUT : POLLIN), 0};
    return ::poll(&socket, 1, int(left.count())) > 0;
#endif
}

// libpq's own defaults wait for ever on a silent network: each of these bounds a wait, unless
// the connection string says otherwise.
const std::vector<std::pair<const char*, const char*>> Bounds{
    {"connect_timeout", "10"},     {"keepalives", "1"},       {"keepalives_idle", "5"},
    {"keepalives_interval", "2"},  {"keepalives_count", "3"}, {"tcp_user_timeout", "10000"},
    {"application_name", "tavrin"}};

} // namespace

void PqLineDatabase::ResultDeleter::operator()(pg_result* result) const {
    PQclear(result);
}

PqLineDatabase::PqLineDatabase() = default;

PqLineDatabase::~PqLineDatabase() {
    disconnect();
}

void PqLineDatabase::disconnect() {
    if (m_connection)
        PQfinish(m_connection);
    m_connection = nullptr;
}

bool PqLineDatabase::isConnected() const {
    return m_connection && PQstatus(m_connection) == CONNECTION_OK;
}

LineDatabase::Error PqLineDatabase::connect(const QString& connection) {
    disconnect();
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(connection.toUtf8().constData(), &message);
    if (!options) {
        const Error error{Failure::BadConnection,
                          message ? QString::fromUtf8(message).trimmed() : QString()};
        PQfreemem(message);
        return error;
    }
    std::vector<QByteArray> keywords, values;
    bool password = false;
    for (PQconninfoOption* option = options; option->keyword; ++option) {
        if (!option->val)
            continue;
        password = password || (qstrcmp(option->keyword, "password") == 0 && *option->val);
        keywords.emplace_back(option->keyword);
        values.emplace_back(option->val);
    }
    PQconninfoFree(options);
    if (password)
        return {Failure::PasswordGiven, {}};
    for (const auto& [keyword, value] : Bounds) {
        if (std::find(keywords.begin(), keywords.end(), QByteArray(keyword)) == keywords.end()) {
            keywords.emplace_back(keyword);
            values.emplace_back(value);
        }
    }
    std::vector<const char*> keywordList, valueList;
    for (size_t i = 0; i < keywords.size(); ++i) {
        keywordList.push_back(keywords[i].constData());
        valueList.push_back(values[i].constData());
    }
    keywordList.push_back(nullptr);
    valueList.push_back(nullptr);
    m_connection = PQconnectdbParams(keywordList.data(), valueList.data(), 0);
    if (PQstatus(m_connection) == CONNECTION_OK) {
        // The server's notices ("already exists, skipping") are not the operator's business.
        PQsetNoticeProcessor(
            m_connection, [](void*, const char*) {}, nullptr);
        return {};
    }
    const QString detail = QString::fromUtf8(PQerrorMessage(m_connection)).simplified();
    const bool login = PQconnectionNeedsPassword(m_connection) ||
                       detail.contains(QStringLiteral("authentication failed")) ||
                       detail.contains(QStringLiteral("does not exist"));
    disconnect();
    return {login ? Failure::Login : Failure::Unreachable, detail};
}

PqLineDatabase::Result PqLineDatabase::call(const char* sql, const QByteArrayList& parameters,
                                            Error* error, bool script) {
    *error = {};
    if (!isConnected()) {
        *error = {Failure::Unreachable, QStringLiteral("not connected")};
        return nullptr;
    }
    std::vector<const char*> values;
    for (const QByteArray& parameter : parameters)
        values.push_back(parameter.isNull() ? nullptr : parameter.constData());
    const bool sent = script ? PQsendQuery(m_connection, sql) != 0
                             : PQsendQueryParams(m_connection, sql, int(values.size()), nullptr,
                                                 values.data(), nullptr, nullptr, 0) != 0;
    if (!sent) {
        *error = {Failure::Unreachable,
                  QString::fromUtf8(PQerrorMessage(m_connection)).simplified()};
        disconnect();
        return nullptr;
    }
    // From here on the server may have done it: a broken connection leaves that unknown.
    const auto deadline = std::chrono::steady_clock::now() + CallDeadline;
    PQsetnonblocking(m_connection, 1);
    auto broken = [&](const QString& why) {
        *error = {Failure::Unknown, why};
        disconnect();
        return nullptr;
    };
    int flushed = 0;
    while ((flushed = PQflush(m_connection)) == 1)
        if (!waitFor(m_connection, true, deadline))
            return broken(QStringLiteral("no answer within %1 s").arg(CallDeadline.count()));
    if (flushed < 0)
        return broken(QString::fromUtf8(PQerrorMessage(m_connection)).simplified());
    Result last;
    for (;;) {
        while (PQisBusy(m_connection)) {
            if (!waitFor(m_connection, false, deadline))
                return broken(QStringLiteral("no answer within %1 s").arg(CallDeadline.count()));
            if (!PQconsumeInput(m_connection))
                return broken(QString::fromUtf8(PQerrorMessage(m_connection)).simplified());
        }
        Result next(PQgetResult(m_connection));
        if (!next)
            break;
        // A script stops at its first failure; that one is the answer.
        if (!last || PQresultStatus(last.get()) != PGRES_FATAL_ERROR)
            last = std::move(next);
    }
    if (PQstatus(m_connection) != CONNECTION_OK)
        return broken(QString::fromUtf8(PQerrorMessage(m_connection)).simplified());
    const ExecStatusType status = last ? PQresultStatus(last.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        *error = failureOf(last.get());
        return nullptr;
    }
    return last;
}

LineDatabase::Error PqLineDatabase::failureOf(pg_result* result) const {
    if (!result)
        return {Failure::Other, QString::fromUtf8(PQerrorMessage(m_connection)).simplified()};
    const QByteArray state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const QString detail = QString::fromUtf8(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
    if (state == "42501")
        return {Failure::NoRights, detail};
    if (state == "3F000" || state == "42P01" || state == "42883")
        return {Failure::NoSchema, detail};
    if (state == "TV001")
        return {Failure::NoSequence, detail};
    if (state == "TV002")
        return {Failure::UsedUp, detail};
    if (state == "TV003")
        return {Failure::TooWide, detail};
    if (state == "23505")
        return {Failure::SequenceExists, detail};
    return {Failure::Other, detail};
}

LineDatabase::Error PqLineDatabase::createSchema(const QString& benchRole) {
    Error error;
    Result version = call("SELECT version FROM tavrin.schema_version", {}, &error);
    if (version && PQntuples(version.get()) > 0 &&
        QByteArray(PQgetvalue(version.get(), 0, 0)).toInt() != SchemaVersion)
        return {Failure::SchemaVersion, textIn(version.get(), 0, 0)};
    if (error.failure != Failure::NoSchema && error.isError())
        return error;
    // One script, one transaction: all of it or none.
    if (!call(SchemaScript, {}, &error, true))
        return error;
    if (!benchRole.isEmpty())
        call("SELECT tavrin.grant_bench($1)", {benchRole.toUtf8()}, &error);
    return error;
}

LineDatabase::Error PqLineDatabase::createSequence(const QString& name, quint64 start,
                                                   std::optional<quint64> last) {
    Error error;
    call("INSERT INTO tavrin.sequence (name, start, last, next) VALUES ($1, $2, $3, $2)",
         {name.toUtf8(), number(start), last ? number(*last) : QByteArray()}, &error);
    return error;
}

std::optional<LineDatabase::Sequence> PqLineDatabase::benchSequence(const QString& name,
                                                                    Error* error) {
    Result version = call("SELECT version FROM tavrin.schema_version", {}, error);
    if (!version)
        return std::nullopt;
    if (PQntuples(version.get()) != 1 ||
        QByteArray(PQgetvalue(version.get(), 0, 0)).toInt() != SchemaVersion) {
        *error = {Failure::SchemaVersion,
                  PQntuples(version.get()) ? textIn(version.get(), 0, 0) : QString()};
        return std::nullopt;
    }
    Result found =
        call("SELECT start::text, last::text, "
             "CASE WHEN next > coalesce(last, 18446744073709551615) THEN NULL ELSE next::text END, "
             "has_function_privilege('tavrin.take_number(text, uuid, text, numeric, timestamptz, "
             "jsonb)', 'EXECUTE') AND has_function_privilege('tavrin.add_outcome(uuid, text, text, "
             "numeric, text, text, timestamptz, jsonb)', 'EXECUTE') "
             "FROM tavrin.sequence WHERE name = $1",
             {name.toUtf8()}, error);
    if (!found)
        return std::nullopt;
    if (PQntuples(found.get()) == 0) {
        *error = {Failure::NoSequence, name};
        return std::nullopt;
    }
    if (QByteArray(PQgetvalue(found.get(), 0, 3)) != "t") {
        *error = {Failure::NoRights, QString::fromUtf8(PQuser(m_connection))};
        return std::nullopt;
    }
    Sequence sequence{name, numberIn(found.get(), 0, 0).value_or(0), numberIn(found.get(), 0, 1),
                      numberIn(found.get(), 0, 2)};
    return sequence;
}

LineDatabase::Taken PqLineDatabase::takeNumber(const Record& started, quint64 largest) {
    Taken taken;
    Result result = call("SELECT tavrin.take_number($1, $2, $3, $4, $5, $6)::text",
                         {started.sequence.toUtf8(), started.unit.toByteArray(QUuid::WithoutBraces),
                          started.station.toUtf8(), number(largest), timeText(started.time),
                          lineText(started.line)},
                         &taken.error);
    if (result)
        taken.serial = numberIn(result.get(), 0, 0);
    return taken;
}

LineDatabase::Error PqLineDatabase::addOutcome(const Record& outcome) {
    Error error;
    call("SELECT tavrin.add_outcome($1, $2, $3, $4, $5, $6, $7, $8)",
         {outcome.unit.toByteArray(QUuid::WithoutBraces), outcome.sequence.toUtf8(),
          outcome.station.toUtf8(), outcome.serial ? number(*outcome.serial) : QByteArray(),
          outcome.result.toUtf8(),
          outcome.problem.isEmpty() ? QByteArray() : outcome.problem.toUtf8(),
          timeText(outcome.time), lineText(outcome.line)},
         &error);
    return error;
}

std::optional<quint64> PqLineDatabase::numberOf(const QUuid& unit, Error* error) {
    Result result = call("SELECT serial::text FROM tavrin.unit WHERE unit_id = $1 AND stage = "
                         "'started'",
                         {unit.toByteArray(QUuid::WithoutBraces)}, error);
    if (!result || PQntuples(result.get()) == 0)
        return std::nullopt;
    return numberIn(result.get(), 0, 0);
}

QList<LineDatabase::Tally> PqLineDatabase::report(const std::optional<QDateTime>& since,
                                                  Error* error) {
    Result result = call(
        "SELECT u.sequence, u.station, "
        "count(*) FILTER (WHERE u.stage = 'outcome' AND u.result = 'done'), "
        "count(*) FILTER (WHERE u.stage = 'outcome' AND u.result <> 'done'), "
        "count(*) FILTER (WHERE u.stage = 'started' AND NOT EXISTS (SELECT 1 FROM tavrin.unit o "
        "WHERE o.unit_id = u.unit_id AND o.stage = 'outcome')), "
        "min(u.serial) FILTER (WHERE u.stage = 'started')::text, "
        "max(u.serial) FILTER (WHERE u.stage = 'started')::text, "
        "(SELECT greatest(q.last - q.next + 1, 0) FROM tavrin.sequence q "
        "WHERE q.name = u.sequence)::text, "
        "to_char(max(u.recorded) AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), "
        "(array_agg(u.serial::text ORDER BY u.id DESC))[1], "
        "(array_agg(u.result ORDER BY u.id DESC))[1] "
        "FROM tavrin.unit u WHERE $1::timestamptz IS NULL OR u.time >= $1 "
        "GROUP BY u.sequence, u.station ORDER BY 1, 2",
        {since ? timeText(*since) : QByteArray()}, error);
    QList<Tally> tallies;
    if (!result)
        return tallies;
    for (int row = 0; row < PQntuples(result.get()); ++row) {
        Tally tally;
        tally.sequence = textIn(result.get(), row, 0);
        tally.station = textIn(result.get(), row, 1);
        tally.done = QByteArray(PQgetvalue(result.get(), row, 2)).toInt();
        tally.failed = QByteArray(PQgetvalue(result.get(), row, 3)).toInt();
        tally.unfinished = QByteArray(PQgetvalue(result.get(), row, 4)).toInt();
        tally.first = numberIn(result.get(), row, 5);
        tally.last = numberIn(result.get(), row, 6);
        tally.left = numberIn(result.get(), row, 7);
        tally.lastTime = QDateTime::fromString(textIn(result.get(), row, 8), Qt::ISODateWithMs);
        tally.lastSerial = numberIn(result.get(), row, 9);
        tally.lastResult = textIn(result.get(), row, 10);
        tallies << tally;
    }
    return tallies;
}

std::unique_ptr<LineDatabase> LineDatabase::make() {
    return std::make_unique<PqLineDatabase>();
}

} // namespace tavrin
