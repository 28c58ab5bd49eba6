#include "production/LineCounter.h"

#include "production/DurableFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

namespace tavrin {

namespace {

const QString NotWritten = QStringLiteral(
    "the connection to the line database broke while the number was taken; nothing was written");

QJsonObject toJson(const QString& kind, const LineDatabase::Record& record) {
    QJsonObject entry{{"kind", kind},
                      {"unit", record.unit.toString(QUuid::WithoutBraces)},
                      {"sequence", record.sequence},
                      {"station", record.station},
                      {"result", record.result},
                      {"problem", record.problem},
                      {"time", record.time.toString(Qt::ISODateWithMs)},
                      {"line", record.line}};
    if (record.serial)
        entry.insert("serial", QString::number(*record.serial));
    return entry;
}

LineDatabase::Record fromJson(const QJsonObject& entry) {
    LineDatabase::Record record;
    record.unit = QUuid::fromString(entry["unit"].toString());
    record.sequence = entry["sequence"].toString();
    record.station = entry["station"].toString();
    record.result = entry["result"].toString();
    record.problem = entry["problem"].toString();
    record.time = QDateTime::fromString(entry["time"].toString(), Qt::ISODateWithMs);
    record.line = entry["line"].toObject();
    bool ok = false;
    const quint64 serial = entry["serial"].toString().toULongLong(&ok);
    if (ok)
        record.serial = serial;
    return record;
}

} // namespace

LineCounter::LineCounter(LineDatabase& database, Place place)
    : m_database(database)
    , m_place(std::move(place)) {}

QString LineCounter::defaultSpool(const Place& place, const QString& device) {
    const QByteArray key =
        (QStringList{place.connection, place.sequence, place.station, device}).join(u'\n').toUtf8();
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/tavrin");
    return QDir(folder).filePath(
        QStringLiteral("line-spool-%1.jsonl")
            .arg(QString::fromLatin1(
                QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16))));
}

QString LineCounter::open() {
    const QString folder = QFileInfo(m_place.spoolPath).absolutePath();
    if (!QDir().mkpath(folder))
        return QObject::tr("the folder of the spool %1 cannot be made")
            .arg(QDir::toNativeSeparators(m_place.spoolPath));
    if (const QString problem = DurableFile::checkAppendable(m_place.spoolPath); !problem.isEmpty())
        return problem;
    return prepare();
}

QString LineCounter::prepare() {
    if (!m_database.isConnected()) {
        if (const LineDatabase::Error error = m_database.connect(m_place.connection);
            error.isError())
            return describe(error, m_place.sequence);
    }
    if (const QString problem = deliver(); !problem.isEmpty())
        return problem;
    LineDatabase::Error error;
    const std::optional<LineDatabase::Sequence> sequence =
        m_database.benchSequence(m_place.sequence, &error);
    if (!sequence)
        return describe(error, m_place.sequence);
    m_next = sequence->next;
    return {};
}

LineDatabase::Record LineCounter::recordOf(const Line& line) const {
    return {line.unit,   m_place.sequence, m_place.station, line.serial,
            line.result, line.problem,     line.time,       line.json};
}

SerialSource::Taken LineCounter::take(quint64 largest, const Line& started) {
    Taken taken;
    const LineDatabase::Taken number = m_database.takeNumber(recordOf(started), largest);
    taken.serial = number.serial;
    if (number.serial) {
        m_next = *number.serial < ~quint64(0) ? std::optional(*number.serial + 1) : std::nullopt;
        return taken;
    }
    taken.problem = describe(number.error, m_place.sequence);
    taken.unreachable = number.error.failure == LineDatabase::Failure::Unreachable ||
                        number.error.failure == LineDatabase::Failure::Unknown;
    // Whether the number was taken is known only once the database is back: the unit is looked
    // up then, and a number it got is recorded as not used.
    if (number.error.failure == LineDatabase::Failure::Unknown) {
        LineDatabase::Record check = recordOf(started);
        check.result = QStringLiteral("refused");
        check.problem = NotWritten;
        const QString spooled = spool(QStringLiteral("check"), check);
        taken.problem += spooled.isEmpty() ? QString() : QStringLiteral("; ") + spooled;
    }
    return taken;
}

QString LineCounter::recordOutcome(const Line& outcome) {
    const LineDatabase::Record record = recordOf(outcome);
    if (m_database.isConnected() && !m_database.addOutcome(record).isError())
        return {};
    return spool(QStringLiteral("outcome"), record);
}

QString LineCounter::spool(const QString& kind, const LineDatabase::Record& record) {
    return DurableFile::appendLine(
        m_place.spoolPath, QJsonDocument(toJson(kind, record)).toJson(QJsonDocument::Compact));
}

// Every record kept here, in order; the spool is emptied once all are in. Delivering one twice
// changes nothing, so a kill in the middle loses nothing.
QString LineCounter::deliver() {
    QFile file(m_place.spoolPath);
    if (!file.exists() || file.size() == 0)
        return {};
    if (!file.open(QIODevice::ReadOnly))
        return QObject::tr("the spool %1 cannot be read: %2")
            .arg(QDir::toNativeSeparators(m_place.spoolPath), file.errorString());
    const QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    for (const QByteArray& text : lines) {
        const QJsonObject entry = QJsonDocument::fromJson(text).object();
        if (entry.isEmpty())
            continue; // a line a kill cut short: its unit's outcome was not yet kept
        LineDatabase::Record record = fromJson(entry);
        LineDatabase::Error error;
        if (entry["kind"].toString() == u"check") {
            record.serial = m_database.numberOf(record.unit, &error);
            if (!error.isError() && !record.serial)
                continue; // the number was never handed out
        }
        if (!error.isError())
            error = m_database.addOutcome(record);
        if (error.isError())
            return describe(error, m_place.sequence);
    }
    return DurableFile::replace(m_place.spoolPath, {});
}

QString LineCounter::describe(const LineDatabase::Error& error, const QString& sequence) {
    using F = LineDatabase::Failure;
    switch (error.failure) {
    case F::None:
        return {};
    case F::NotBuilt:
        return QObject::tr("this tavrin was built without the line database (libpq)");
    case F::Unreachable:
        return QObject::tr("the line database cannot be reached: %1").arg(error.detail);
    case F::Login:
        return QObject::tr("the line database refused the login: %1 (a password goes in "
                           "%2, the file PGPASSFILE names, or a service file)")
            .arg(error.detail, QString::fromLatin1(LineDatabase::UserPasswordFile));
    case F::PasswordGiven:
        return QObject::tr("the connection string holds a password, which every user of this "
                           "machine can see in the list of processes: put it in %1, the "
                           "file PGPASSFILE names, or a service file instead")
            .arg(QString::fromLatin1(LineDatabase::UserPasswordFile));
    case F::BadConnection:
        return QObject::tr("the connection string does not parse: %1").arg(error.detail);
    case F::NoSchema:
        return QObject::tr("the database has no line schema; tavrin line init CONNINFO makes it");
    case F::SchemaVersion:
        return QObject::tr("the database's line schema is version %1; this tavrin knows version 1")
            .arg(error.detail);
    case F::NoRights:
        return QObject::tr("the role may not take numbers and add records (%1); tavrin line init "
                           "CONNINFO --bench-role ROLE grants a bench what it needs")
            .arg(error.detail);
    case F::NoSequence:
        return QObject::tr("there is no sequence %1; tavrin line sequence CONNINFO %1 --start N "
                           "makes it")
            .arg(sequence);
    case F::SequenceExists:
        return QObject::tr("there is a sequence %1 already").arg(sequence);
    case F::UsedUp:
        return QObject::tr("the sequence %1 is used up").arg(sequence);
    case F::TooWide:
        return QObject::tr("the sequence %1's next number does not fit its cells: %2")
            .arg(sequence, error.detail);
    case F::Unknown:
        return QObject::tr("the connection to the line database broke during the call: %1")
            .arg(error.detail);
    case F::Other:
        break;
    }
    return QObject::tr("the line database: %1").arg(error.detail);
}

} // namespace tavrin
