// The line database against a real PostgreSQL 15 server that the test command started for the
// tests: its schema, numbers handed out once across connections, its refusals, its append-only
// record, and the line commands of the real program.

#include "CuttableProxy.h"
#include "FileContents.h"
#include "SimulatorProcess.h"

#include "image/ImageFile.h"
#include "platform/LineDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <thread>
#include <unistd.h>

using namespace tavrin;
using namespace tavrin::test;
using F = LineDatabase::Failure;

namespace {

// How to reach the test server, from the file its start wrote.
struct Server {
    Server() {
        QFile info(QStringLiteral(TAVRIN_POSTGRES_INFO));
        if (!info.open(QIODevice::ReadOnly))
            return;
        for (const QByteArray& line : info.readAll().split('\n')) {
            const qsizetype equals = line.indexOf('=');
            if (equals > 0)
                facts.insert(QString::fromUtf8(line.left(equals)),
                             QString::fromUtf8(line.mid(equals + 1)).remove(u'"'));
        }
    }
    bool ready() const { return facts.contains("port"); }
    // As a role, on the socket (trusted) or over TCP (by password), in the database `database`.
    QString as(const QString& role, const QString& database = "line", bool tcp = false) const {
        return QStringLiteral("host=%1 port=%2 user=%3 dbname=%4")
            .arg(tcp ? QStringLiteral("127.0.0.1") : facts.value("socket"), facts.value("port"),
                 role, database);
    }
    quint16 port() const { return quint16(facts.value("port").toUInt()); }
    // As a bench over TCP through a relay on `port`.
    static QString through(quint16 port) {
        return QStringLiteral("host=127.0.0.1 port=%1 user=bench dbname=line").arg(port);
    }
    // Runs SQL as `role`; the exit status of psql.
    int sql(const QString& statement, const QString& database = "line",
            const QString& role = "tavrin_admin") const {
        QProcess psql;
        psql.start("psql", {"-qX", "-v", "ON_ERROR_STOP=1", as(role, database), "-c", statement});
        return psql.waitForFinished(30000) && psql.exitStatus() == QProcess::NormalExit
                   ? psql.exitCode()
                   : -1;
    }
    // The first value the query returns, as the administrator.
    QString value(const QString& query) const {
        QProcess psql;
        psql.start("psql", {"-qXAt", as("tavrin_admin"), "-c", query});
        psql.waitForFinished(30000);
        return QString::fromUtf8(psql.readAllStandardOutput()).trimmed();
    }
    // pg_ctl as the server's owner.
    bool pgCtl(const QStringList& arguments) const {
        QStringList command = QStringList{facts.value("pg_ctl"),
                                          "-D",
                                          facts.value("dir") + "/data",
                                          "-w",
                                          "-l",
                                          facts.value("dir") + "/server.log"} +
                              arguments;
        QString program = command.takeFirst();
        if (::geteuid() == 0) {
            command = QStringList{"-u", "postgres", "--", program} + command;
            program = "runuser";
        }
        QProcess pgCtl;
        pgCtl.start(program, command);
        return pgCtl.waitForFinished(60000) && pgCtl.exitCode() == 0;
    }
    // Stops the server at once, as a crash would, and starts it again.
    bool restartAtOnce() const { return pgCtl({"-m", "immediate", "restart"}); }
    bool stopAtOnce() const { return pgCtl({"-m", "immediate", "stop"}); }
    bool start() const {
        return pgCtl({"-o",
                      QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1")
                          .arg(facts.value("port"), facts.value("socket")),
                      "start"});
    }
    QMap<QString, QString> facts;
};

LineDatabase::Record started(const QString& sequence, const QString& station) {
    LineDatabase::Record record;
    record.unit = QUuid::createUuid();
    record.sequence = sequence;
    record.station = station;
    record.result = "started";
    record.time = QDateTime::currentDateTimeUtc();
    record.line = QJsonObject{{"command", "write"}, {"result", "started"}};
    return record;
}

std::unique_ptr<LineDatabase> connected(const QString& connection) {
    std::unique_ptr<LineDatabase> database = LineDatabase::make();
    const LineDatabase::Error error = database->connect(connection);
    if (error.isError())
        qWarning("%s", qPrintable(error.detail));
    return database;
}

} // namespace

class tst_LineDatabase : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void schemaIsMadeOnceAndKept();
    void numbersAreHandedOutOnce();
    void refusals_data();
    void refusals();
    void recordIsAppendOnly();
    void lineCommands_data();
    void lineCommands();
    void benchRefusals_data();
    void benchRefusals();
    void outcomeWaitsForTheDatabase();
    void lineDrill();
    void batchWaitsForTheDatabase();
    void numberTakenWhenTheConnectionBroke();
    void commitWhoseAnswerWasLost();

private:
    Server m_server;
};

// A database of its own for this run, with a bench role that has what a bench needs and one that
// has nothing.
void tst_LineDatabase::initTestCase() {
    QVERIFY2(m_server.ready(), "the test server is not running: " TAVRIN_POSTGRES_INFO);
    QCOMPARE(m_server.sql("DROP DATABASE IF EXISTS line", "postgres"), 0);
    QCOMPARE(m_server.sql("CREATE DATABASE line", "postgres"), 0);
    m_server.sql("DROP ROLE IF EXISTS bench", "postgres");
    m_server.sql("DROP ROLE IF EXISTS visitor", "postgres");
    QCOMPARE(m_server.sql("CREATE ROLE bench LOGIN PASSWORD 'bench-password'", "postgres"), 0);
    QCOMPARE(m_server.sql("CREATE ROLE visitor LOGIN", "postgres"), 0);
    const std::unique_ptr<LineDatabase> admin = connected(m_server.as("tavrin_admin"));
    QCOMPARE(admin->createSchema("bench").failure, F::None);
    QCOMPARE(admin->createSequence("line1", 1000, std::nullopt).failure, F::None);
    QCOMPARE(admin->createSequence("short", 7, 8).failure, F::None);
    QCOMPARE(admin->createSequence("wide", 300, std::nullopt).failure, F::None);
}

// Made again, nothing changes: the sequences and the record stay, the version is 1.
void tst_LineDatabase::schemaIsMadeOnceAndKept() {
    const std::unique_ptr<LineDatabase> admin = connected(m_server.as("tavrin_admin"));
    QCOMPARE(admin->createSchema("bench").failure, F::None);
    LineDatabase::Error error;
    const std::optional<LineDatabase::Sequence> sequence = admin->benchSequence("line1", &error);
    QCOMPARE(error.failure, F::None);
    QVERIFY(sequence);
    QCOMPARE(sequence->start, 1000u);
    QCOMPARE(admin->createSequence("line1", 1, std::nullopt).failure, F::SequenceExists);
    QCOMPARE(m_server.sql("UPDATE tavrin.schema_version SET version = 2"), 0);
    QCOMPARE(admin->createSchema({}).failure, F::SchemaVersion);
    QCOMPARE(admin->benchSequence("line1", &error), std::nullopt);
    QCOMPARE(error.failure, F::SchemaVersion);
    QCOMPARE(m_server.sql("UPDATE tavrin.schema_version SET version = 1"), 0);
}

// Four benches take numbers at once, each on its own connection as the bench role: every number
// once, none skipped, each on record with the unit that took it.
void tst_LineDatabase::numbersAreHandedOutOnce() {
    constexpr int Benches = 4, Units = 40;
    QList<QList<quint64>> taken(Benches);
    QList<int> failures(Benches, 0);
    std::vector<std::thread> benches;
    const QString connection = m_server.as("bench");
    for (int bench = 0; bench < Benches; ++bench)
        benches.emplace_back([&, bench] {
            const std::unique_ptr<LineDatabase> database = connected(connection);
            for (int unit = 0; unit < Units; ++unit) {
                const LineDatabase::Taken number = database->takeNumber(
                    started("line1", QStringLiteral("bench-%1").arg(bench)), ~quint64(0));
                if (number.serial)
                    taken[bench] << *number.serial;
                else
                    ++failures[bench];
            }
        });
    for (std::thread& bench : benches)
        bench.join();

    QSet<quint64> all;
    for (int bench = 0; bench < Benches; ++bench) {
        QCOMPARE(failures[bench], 0);
        for (quint64 number : std::as_const(taken[bench]))
            all << number;
    }
    QCOMPARE(all.size(), Benches * Units);
    QCOMPARE(*std::min_element(all.begin(), all.end()), 1000u);
    QCOMPARE(*std::max_element(all.begin(), all.end()), quint64(1000 + Benches * Units - 1));
    LineDatabase::Error error;
    const QList<LineDatabase::Tally> tallies = connected(m_server.as("bench"))->report({}, &error);
    QCOMPARE(error.failure, F::None);
    int unfinished = 0;
    for (const LineDatabase::Tally& tally : tallies)
        unfinished += tally.sequence == "line1" ? tally.unfinished : 0;
    QCOMPARE(unfinished, Benches * Units);
}

void tst_LineDatabase::refusals_data() {
    QTest::addColumn<QString>("role");     // "" for a server that is not there
    QTest::addColumn<QString>("sequence"); // what the bench asks for
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QString>("password"); // what the password file holds, "" for none
    QTest::addColumn<F>("failure");
    QTest::newRow("no server") << ""
                               << "line1" << true << "" << F::Unreachable;
    QTest::newRow("wrong password") << "bench"
                                    << "line1" << true << "not-it" << F::Login;
    QTest::newRow("no password") << "bench"
                                 << "line1" << true << "" << F::Login;
    QTest::newRow("a password in the argument") << "bench password=bench-password"
                                                << "line1" << true << "" << F::PasswordGiven;
    QTest::newRow("no rights") << "visitor"
                               << "line1" << false << "" << F::NoRights;
    QTest::newRow("missing sequence") << "bench"
                                      << "line9" << false << "" << F::NoSequence;
    QTest::newRow("used-up sequence") << "bench"
                                      << "short" << false << "" << F::UsedUp;
    QTest::newRow("a number too wide") << "bench"
                                       << "wide" << false << "" << F::TooWide;
    QTest::newRow("the right password") << "bench"
                                        << "line1" << true << "bench-password" << F::None;
}

// Each refusal comes before a number is taken, in the words of its kind; the sequence keeps its
// next number.
void tst_LineDatabase::refusals() {
    QFETCH(QString, role);
    QFETCH(QString, sequence);
    QFETCH(bool, tcp);
    QFETCH(QString, password);
    QFETCH(F, failure);
    QTemporaryDir home;
    const QString passwords = home.filePath("pgpass");
    QFile file(passwords);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!password.isEmpty())
        file.write(QStringLiteral("*:*:*:bench:%1\n").arg(password).toUtf8());
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    qputenv("PGPASSFILE", passwords.toLocal8Bit());
    // Use up "short" once, so that it is used up.
    const std::unique_ptr<LineDatabase> admin = connected(m_server.as("tavrin_admin"));
    while (admin->takeNumber(started("short", "setup"), ~quint64(0)).serial) {
    }
    LineDatabase::Error error;
    const auto before = admin->benchSequence(sequence, &error);

    const std::unique_ptr<LineDatabase> bench = LineDatabase::make();
    const QString connection = role.isEmpty() ? QStringLiteral("host=127.0.0.1 port=1 dbname=line")
                                              : m_server.as(role, "line", tcp);
    error = bench->connect(connection);
    if (!error.isError())
        bench->benchSequence(sequence, &error);
    if (!error.isError())
        error =
            bench->takeNumber(started(sequence, "bench-1"), sequence == "wide" ? 255 : ~0ull).error;
    qunsetenv("PGPASSFILE");

    QCOMPARE(error.failure, failure);
    if (failure != F::None && before) {
        LineDatabase::Error after;
        QCOMPARE(admin->benchSequence(sequence, &after)->next, before->next);
    }
}

// The bench adds records and nothing else: an outcome added twice is one record, an outcome for
// a number its unit was not given is refused, and no role may change or delete a record.
void tst_LineDatabase::recordIsAppendOnly() {
    const std::unique_ptr<LineDatabase> bench = connected(m_server.as("bench"));
    const LineDatabase::Record unit = started("line1", "bench-1");
    const LineDatabase::Taken taken = bench->takeNumber(unit, ~quint64(0));
    QVERIFY(taken.serial);
    LineDatabase::Record outcome = unit;
    outcome.serial = taken.serial;
    outcome.result = "done";
    outcome.line = QJsonObject{{"result", "done"}};
    QCOMPARE(bench->addOutcome(outcome).failure, F::None);
    QCOMPARE(bench->addOutcome(outcome).failure, F::None);
    LineDatabase::Error error;
    QCOMPARE(bench->numberOf(unit.unit, &error), taken.serial);
    LineDatabase::Record forged = started("line1", "bench-1");
    forged.serial = taken.serial;
    forged.result = "done";
    QCOMPARE(bench->addOutcome(forged).failure, F::Other);

    const QString id = unit.unit.toString(QUuid::WithoutBraces);
    QProcess count;
    count.start("psql", {"-qXAt", m_server.as("tavrin_admin"), "-c",
                         "SELECT count(*) FROM tavrin.unit WHERE unit_id = '" + id + "'"});
    QVERIFY(count.waitForFinished(30000));
    QCOMPARE(count.readAllStandardOutput().trimmed(), "2");
    for (const QString& role : {QStringLiteral("bench"), QStringLiteral("tavrin_admin")}) {
        QVERIFY(m_server.sql("UPDATE tavrin.unit SET result = 'done'", "line", role) != 0);
        QVERIFY(m_server.sql("DELETE FROM tavrin.unit", "line", role) != 0);
        QVERIFY(m_server.sql("TRUNCATE tavrin.unit", "line", role) != 0);
    }
    QVERIFY(m_server.sql("UPDATE tavrin.sequence SET next = 1", "line", "bench") != 0);
}

void tst_LineDatabase::lineCommands_data() {
    QTest::addColumn<QStringList>("arguments"); // CONNINFO stands for the admin's
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::newRow("init again") << QStringList{"init", "CONNINFO", "--bench-role", "bench"} << 0
                                << "";
    QTest::newRow("a sequence") << QStringList{"sequence", "CONNINFO", "line2", "--start",
                                               "0x10",     "--last",   "20"}
                                << 0 << "";
    QTest::newRow("the same sequence")
        << QStringList{"sequence", "CONNINFO", "line2", "--start", "1"} << 2
        << "there is a sequence line2 already";
    QTest::newRow("last before start")
        << QStringList{"sequence", "CONNINFO", "line3", "--start", "9", "--last", "8"} << 2
        << "--last takes a number from --start on";
    QTest::newRow("a report") << QStringList{"report", "CONNINFO"} << 0 << "";
    QTest::newRow("a password in the argument")
        << QStringList{"report", "CONNINFO password=x"} << 2 << "put it in ~/.pgpass";
    QTest::newRow("no server") << QStringList{"report", "host=127.0.0.1 port=1"} << 2
                               << "cannot be reached";
    QTest::newRow("no schema") << QStringList{"report", "postgres"} << 2 << "tavrin line init";
    QTest::newRow("unknown verb") << QStringList{"drop", "CONNINFO"} << 2
                                  << "line takes init, sequence or report";
}

// The program's own line commands, as a line's engineer runs them.
void tst_LineDatabase::lineCommands() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, said);
    for (QString& argument : arguments) {
        argument.replace("CONNINFO", m_server.as("tavrin_admin"));
        if (argument == "postgres")
            argument = m_server.as("tavrin_admin", "postgres");
    }
    QProcess tavrin;
    tavrin.start(TAVRIN_PROGRAM_PATH, QStringList{"line"} + arguments);
    QVERIFY(tavrin.waitForFinished(60000));
    const QString err = QString::fromUtf8(tavrin.readAllStandardError());
    const QString out = QString::fromUtf8(tavrin.readAllStandardOutput());

    QCOMPARE(tavrin.exitCode(), status);
    QVERIFY2(err.contains(said), qPrintable(err));
    QVERIFY2(!err.contains("NOTICE"), qPrintable(err));
    if (arguments.first() == "report" && status == 0) {
        QVERIFY2(out.contains("line1\tbench-0\t"), qPrintable(out));
    }
}

namespace {

// tavrin with a password file of its own (none: an empty one).
struct Bench {
    explicit Bench(const QString& password = {}) {
        QFile file(dir.filePath("pgpass"));
        if (file.open(QIODevice::WriteOnly))
            file.write(password.isEmpty() ? QByteArray()
                                          : ("*:*:*:bench:" + password + "\n").toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        ImageFile::write(dir.filePath("image.bin"), QByteArray(16, 'p'));
    }
    // Starts the program with this bench's password file and data folder.
    void start(QProcess& tavrin, const QStringList& arguments) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PGPASSFILE", dir.filePath("pgpass"));
        environment.insert("XDG_DATA_HOME", dir.filePath("data"));
        environment.remove("DISPLAY");
        tavrin.setProcessEnvironment(environment);
        tavrin.start(TAVRIN_PROGRAM_PATH, arguments);
    }
    int run(const QStringList& arguments, QString* err = nullptr) {
        QProcess tavrin;
        start(tavrin, arguments);
        if (!tavrin.waitForFinished(60000))
            return -1;
        if (err)
            *err = QString::fromUtf8(tavrin.readAllStandardError());
        return tavrin.exitCode();
    }
    QString file(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

// One unit written by `bench` into `device`, its number from `sequence` line1 over `connection`.
QStringList lineWrite(const SimulatorProcess& device, const Bench& bench, const QString& connection,
                      const QString& station) {
    return {"write",
            "--port",
            device.devicePath(),
            bench.file("image.bin"),
            "--serial-at",
            "0x3C",
            "--line",
            connection,
            "--sequence",
            "line1",
            "--station",
            station,
            "--spool",
            bench.file("spool.jsonl")};
}

// Another session, `holder`, holds the sequence's row, so that a bench's take waits inside the
// server until the row is released.
bool holdRow(QProcess& holder, const QString& sequence) {
    const Server server;
    holder.start("psql", {"-qX", server.as("tavrin_admin")});
    if (!holder.waitForStarted())
        return false;
    holder.write(QStringLiteral("BEGIN; SELECT * FROM tavrin.sequence WHERE name = '%1' FOR "
                                "UPDATE;\n")
                     .arg(sequence)
                     .toUtf8());
    return QTest::qWaitFor(
        [&] {
            return server.value("SELECT count(*) FROM pg_stat_activity WHERE state = 'idle in "
                                "transaction'") == u"1";
        },
        20000);
}

bool releaseRow(QProcess& holder) {
    holder.write("COMMIT;\n");
    holder.closeWriteChannel();
    return holder.waitForFinished(30000);
}

std::optional<quint64> nextOf(const QString& connection, const QString& sequence) {
    LineDatabase::Error error;
    const auto found = connected(connection)->benchSequence(sequence, &error);
    return found ? found->next : std::nullopt;
}

} // namespace

void tst_LineDatabase::benchRefusals_data() {
    QTest::addColumn<QString>("connection"); // BENCH, BENCH-TCP, VISITOR, NOSERVER stand in
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    const QStringList line1{"--sequence", "line1"};
    QTest::newRow("no server") << "NOSERVER"
                               << "" << line1 << 2 << "cannot be reached";
    QTest::newRow("wrong password") << "BENCH-TCP"
                                    << "not-it" << line1 << 2 << "refused the login";
    QTest::newRow("no rights") << "VISITOR"
                               << "" << line1 << 2 << "--bench-role ROLE";
    QTest::newRow("missing sequence")
        << "BENCH"
        << "" << QStringList{"--sequence", "line9"} << 2 << "there is no sequence line9";
    QTest::newRow("used-up sequence")
        << "BENCH"
        << "" << QStringList{"--sequence", "short"} << 2 << "is used up";
    QTest::newRow("a number too wide")
        << "BENCH"
        << "" << QStringList{"--sequence", "wide", "--serial-width", "1"} << 2
        << "does not fit in 1 byte";
    QTest::newRow("a password in the argument") << "BENCH password=bench-password"
                                                << "" << line1 << 2 << "put it in ~/.pgpass";
    QTest::newRow("with --serial-file") << "BENCH"
                                        << "" << line1 + QStringList{"--serial-file", "serial.txt"}
                                        << 2 << "cannot be given together";
    QTest::newRow("without --sequence")
        << "BENCH"
        << "" << QStringList{} << 2 << "--line needs CONNINFO and --sequence NAME";
}

// A bench refused before its unit hears a byte: status 2, our words, no number taken.
void tst_LineDatabase::benchRefusals() {
    QFETCH(QString, connection);
    QFETCH(QString, password);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, said);
    connection.replace("BENCH-TCP", m_server.as("bench", "line", true))
        .replace("BENCH", m_server.as("bench"))
        .replace("VISITOR", m_server.as("visitor"))
        .replace("NOSERVER", "host=127.0.0.1 port=1 dbname=line");
    SimulatorProcess device;
    Bench bench(password);
    const auto before = nextOf(m_server.as("tavrin_admin"), "line1");
    for (QString& option : options)
        if (option == "serial.txt")
            option = bench.file(option);
    QString err;

    const int exit =
        bench.run(QStringList{"write", "--port", device.devicePath(), bench.file("image.bin"),
                              "--serial-at", "0x3C", "--line", connection} +
                      options,
                  &err);

    QCOMPARE(exit, status);
    QVERIFY2(err.contains(said), qPrintable(err));
    QCOMPARE(err.count("tavrin: "), 1);
    QVERIFY(device.events().filter("connected").isEmpty());
    QCOMPARE(nextOf(m_server.as("tavrin_admin"), "line1"), before);
}

// The connection drops after the unit's number is on record: the unit is finished, its outcome
// waits in the bench's spool, and goes in before the bench's next number.
void tst_LineDatabase::outcomeWaitsForTheDatabase() {
    SimulatorProcess device;
    Bench bench;
    const QStringList write = lineWrite(device, bench, m_server.as("bench"), "spooler");
    QProcess first;
    bench.start(first, write);
    // Once the unit's number is on record, before its outcome, its connection is cut.
    QTRY_COMPARE_WITH_TIMEOUT(
        m_server.value("SELECT count(*) FROM tavrin.unit WHERE station = 'spooler'"), "1", 20000);
    QCOMPARE(m_server.sql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                          "application_name = 'tavrin' AND usename = 'bench'"),
             0);
    QVERIFY(first.waitForFinished(30000));
    QCOMPARE(first.exitCode(), 0);
    QVERIFY(device.waitForEvent("written lost=0"));
    const QByteArray spooled = fileContents(bench.file("spool.jsonl"));
    QVERIFY2(spooled.contains("\"kind\":\"outcome\""), spooled.constData());

    QCOMPARE(bench.run(write), 0);

    QCOMPARE(fileContents(bench.file("spool.jsonl")), QByteArray());
    LineDatabase::Error error;
    for (const LineDatabase::Tally& tally :
         connected(m_server.as("tavrin_admin"))->report({}, &error))
        if (tally.station == "spooler") {
            QCOMPARE(tally.done, 2);
            QCOMPARE(tally.unfinished, 0);
        }
}

// Stations on one sequence, each a process of its own with its own simulator, temporary folder
// and spool, writing unit after unit while stations are killed at random moments and the server
// stops at once and starts again in the middle. At the end: no number in two units, every number
// found in a unit on record with its station, every outcome a station saw in the database, and
// no number handed out twice.
void tst_LineDatabase::lineDrill() {
    const int stations = 6;
    bool given = false;
    int units = qEnvironmentVariableIntValue("TAVRIN_LINE_DRILL", &given);
    if (given && units == 0)
        QSKIP("TAVRIN_LINE_DRILL=0: the line drill ran in the pass before");
    if (!given || units < 0)
        units = 5;
    const std::unique_ptr<LineDatabase> admin = connected(m_server.as("tavrin_admin"));
    QCOMPARE(admin->createSequence("drill", 1, std::nullopt).failure, F::None);
    // The stations reach the server over a network that the drill cuts once.
    CuttableProxy network(m_server.port());
    QVERIFY(network.port());
    struct Station {
        std::unique_ptr<SimulatorProcess> device;
        std::unique_ptr<Bench> bench;
        std::unique_ptr<QProcess> run;
        int done = 0, runs = 0, killed = 0;
        QList<quint64> doneNumbers;
    };
    std::vector<Station> line(stations);
    auto start = [&](int index) {
        Station& station = line[index];
        station.run = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", station.bench->file("tmp"));
        environment.insert("PGPASSFILE", station.bench->file("pgpass"));
        environment.insert("XDG_DATA_HOME", station.bench->file("data"));
        environment.remove("DISPLAY");
        station.run->setProcessEnvironment(environment);
        station.run->start(
            TAVRIN_PROGRAM_PATH,
            {"write", "--port", station.device->devicePath(), station.bench->file("image.bin"),
             "--serial-at", "0x3C", "--line", Server::through(network.port()), "--sequence",
             "drill", "--station", QStringLiteral("station-%1").arg(index), "--spool",
             station.bench->file("spool.jsonl"), "--log", station.bench->file("units.jsonl")});
        ++station.runs;
    };
    auto numberIn = [](const QByteArray& cells) {
        quint64 number = 0;
        for (int i = 0; i < 4; ++i)
            number = number << 8 | quint8(cells.at(0x3C + i));
        return number;
    };
    for (int index = 0; index < stations; ++index) {
        line[index].bench = std::make_unique<Bench>("bench-password");
        QVERIFY(
            ImageFile::write(line[index].bench->file("device.bin"), QByteArray(64, 0)).isEmpty());
        line[index].device = std::make_unique<SimulatorProcess>(
            QStringList{"--image", line[index].bench->file("device.bin")});
        QVERIFY(QDir().mkpath(line[index].bench->file("tmp")));
        start(index);
    }
    QRandomGenerator random(20261209);
    QElapsedTimer clock, sinceKill;
    clock.start();
    sinceKill.start();
    int kills = 0, dropped = 0;
    bool restarted = false;
    QElapsedTimer cut;
    auto finished = [&] {
        for (const Station& station : line)
            if (station.done < units)
                return false;
        return true;
    };
    while (!finished() && clock.elapsed() < 240000) {
        QTest::qWait(20);
        for (int index = 0; index < stations; ++index) {
            Station& station = line[index];
            if (!station.run || station.run->state() != QProcess::NotRunning)
                continue;
            if (station.run->exitStatus() == QProcess::NormalExit && station.run->exitCode() == 0) {
                ++station.done;
                station.doneNumbers << numberIn(fileContents(station.bench->file("device.bin")));
            }
            if (station.done < units)
                start(index);
            else
                station.run.reset();
        }
        if (sinceKill.elapsed() > 700 + int(random.bounded(1500))) {
            Station& victim = line[random.bounded(stations)];
            if (victim.run && victim.run->state() == QProcess::Running) {
                victim.run->kill();
                victim.run->waitForFinished(10000);
                ++victim.killed;
                ++kills;
            }
            sinceKill.restart();
        }
        // At 8 s, or sooner when a short drill is a third of the way through; the cut 4 s later,
        // or half-way through, so that both come while the stations still run.
        int done = 0;
        for (const Station& station : line)
            done += station.done;
        if (!restarted && (clock.elapsed() > 8000 || 3 * done >= stations * units)) {
            QVERIFY(m_server.restartAtOnce());
            restarted = true;
        }
        // Four seconds without a network, a few seconds after the restart.
        if (restarted && !cut.isValid() && dropped == 0 &&
            (clock.elapsed() > 12000 || 2 * done >= stations * units)) {
            network.cut();
            cut.start();
        }
        if (cut.isValid() && cut.elapsed() > 4000) {
            dropped = network.restore();
            cut.invalidate();
        }
    }
    if (cut.isValid())
        dropped = network.restore();
    QVERIFY2(finished(), "the stations did not finish their units");
    // One more run a station delivers what its spool still holds; then nothing waits anywhere.
    for (int index = 0; index < stations; ++index) {
        start(index);
        QVERIFY(line[index].run->waitForFinished(60000));
        QCOMPARE(line[index].run->exitCode(), 0);
        line[index].doneNumbers << numberIn(fileContents(line[index].bench->file("device.bin")));
        const QString spool = line[index].bench->file("spool.jsonl");
        QVERIFY(!QFile::exists(spool) || QFileInfo(spool).size() == 0);
    }

    QMap<quint64, int> stationOf;
    int doneUnits = 0;
    for (int index = 0; index < stations; ++index)
        for (quint64 number : std::as_const(line[index].doneNumbers)) {
            QVERIFY2(!stationOf.contains(number),
                     qPrintable(QStringLiteral("%1 is in two units, at stations %2 and %3; %4")
                                    .arg(number)
                                    .arg(stationOf.value(number))
                                    .arg(index)
                                    .arg(m_server.value(
                                        QStringLiteral(
                                            "SELECT string_agg(stage || ':' || station || ':' || "
                                            "result, ',' ORDER BY id) FROM tavrin.unit WHERE "
                                            "sequence = 'drill' AND serial = %1")
                                            .arg(number)))));
            stationOf[number] = index;
            ++doneUnits;
        }
    const QString handedOut = m_server.value(
        "SELECT count(*) || ' ' || count(DISTINCT serial) FROM tavrin.unit WHERE sequence = "
        "'drill' AND stage = 'started'");
    const QStringList counts = handedOut.split(' ');
    QCOMPARE(counts.value(0), counts.value(1));
    // Every number the sequence moved past is on record: none was handed out without one.
    const QString movedPast =
        m_server.value("SELECT next - start FROM tavrin.sequence WHERE name = 'drill'");
    QCOMPARE(movedPast, counts.value(0));
    for (auto number = stationOf.cbegin(); number != stationOf.cend(); ++number) {
        const QString record = m_server.value(
            QStringLiteral("SELECT string_agg(stage || ':' || station || ':' || result, ',' ORDER "
                           "BY id) FROM tavrin.unit WHERE sequence = 'drill' AND serial = %1")
                .arg(number.key()));
        QCOMPARE(record, QStringLiteral("started:station-%1:started,outcome:station-%1:done")
                             .arg(number.value()));
    }
    qInfo("%d stations, %d units done, %d kills, a restart of the server, a cut of the network "
          "that dropped %d connections; %s numbers handed out, %s on record (%s distinct), 0 in "
          "two units",
          stations, doneUnits, kills, dropped, qPrintable(movedPast), qPrintable(counts.value(0)),
          qPrintable(counts.value(1)));
    QVERIFY2(kills >= stations, "the drill killed too few stations");
    QVERIFY2(dropped > 0, "the cut of the network met no connection");
}

// The server goes away between two units of a batch: the batch says it waits, takes no number,
// and goes on with the next unit once the server is back.
void tst_LineDatabase::batchWaitsForTheDatabase() {
    Bench bench;
    QVERIFY(ImageFile::write(bench.file("device.bin"), QByteArray(64, 0)).isEmpty());
    SimulatorProcess device({"--image", bench.file("device.bin")});
    QProcess batch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    batch.setProcessEnvironment(environment);
    batch.start(TAVRIN_PROGRAM_PATH,
                {"write", "--port", device.devicePath(), bench.file("image.bin"), "--serial-at",
                 "0x3C", "--line", m_server.as("bench"), "--sequence", "line1", "--station",
                 "waiter", "--spool", bench.file("spool.jsonl"), "--log", bench.file("units.jsonl"),
                 "--each"});
    auto outcomes = [&] {
        return QString::fromUtf8(fileContents(bench.file("units.jsonl"))).count("\"done\"");
    };
    QTRY_COMPARE_WITH_TIMEOUT(outcomes(), 1, 30000);
    const auto serverBack = qScopeGuard([&] { m_server.start(); });
    QVERIFY(m_server.stopAtOnce());
    QVERIFY(device.unplug());
    QString err;
    QTRY_VERIFY_WITH_TIMEOUT(
        (err += QString::fromUtf8(batch.readAllStandardError())).contains("waiting for the serial"),
        30000);
    QVERIFY(device.plugIn());
    QTest::qWait(1500); // the batch waits on for the database, not for the unit
    QCOMPARE(outcomes(), 1);
    QVERIFY(m_server.start());
    QTRY_COMPARE_WITH_TIMEOUT(outcomes(), 2, 30000);
    batch.terminate();
    QVERIFY(batch.waitForFinished(30000));
    err += QString::fromUtf8(batch.readAllStandardError());

    QCOMPARE(batch.exitCode(), 0);
    QCOMPARE(err.count("waiting for the serial numbers"), 1);
    QCOMPARE(m_server.value("SELECT count(*) FROM tavrin.unit WHERE station = 'waiter'"), "4");
    QCOMPARE(m_server.value("SELECT count(*) FROM tavrin.unit WHERE station = 'waiter' AND "
                            "stage = 'outcome' AND result = 'done'"),
             "2");
}

// The connection breaks while the number is being taken, so the bench cannot know whether it
// was: the unit is not touched, the bench notes its unit, and once the database is back it finds
// the number was never handed out, and the next unit gets it.
void tst_LineDatabase::numberTakenWhenTheConnectionBroke() {
    Bench bench;
    QVERIFY(ImageFile::write(bench.file("device.bin"), QByteArray(64, 0)).isEmpty());
    SimulatorProcess device({"--image", bench.file("device.bin")});
    const std::optional<quint64> next = nextOf(m_server.as("tavrin_admin"), "line1");
    QVERIFY(next);
    // Another session holds the sequence's row, so the bench's take waits inside the server.
    QProcess holder;
    QVERIFY(holdRow(holder, "line1"));
    const QStringList write = lineWrite(device, bench, m_server.as("bench"), "broken");
    QProcess first;
    first.start(TAVRIN_PROGRAM_PATH, write);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.value("SELECT count(*) FROM pg_stat_activity WHERE "
                                             "usename = 'bench' AND wait_event_type = 'Lock'"),
                              "1", 20000);
    QCOMPARE(m_server.sql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                          "usename = 'bench'"),
             0);
    QVERIFY(first.waitForFinished(30000));
    QVERIFY(releaseRow(holder));
    const QString err = QString::fromUtf8(first.readAllStandardError());

    QCOMPARE(first.exitCode(), 5);
    QVERIFY2(err.contains("broke during the call"), qPrintable(err));
    QVERIFY(device.events().filter("written").isEmpty());
    QVERIFY(fileContents(bench.file("spool.jsonl")).contains("\"kind\":\"check\""));
    QCOMPARE(m_server.value("SELECT count(*) FROM tavrin.unit WHERE station = 'broken'"), "0");

    QCOMPARE(bench.run(write), 0);

    QCOMPARE(fileContents(bench.file("spool.jsonl")), QByteArray());
    QCOMPARE(m_server.value("SELECT string_agg(stage || ':' || serial, ',' ORDER BY id) FROM "
                            "tavrin.unit WHERE station = 'broken'"),
             QStringLiteral("started:%1,outcome:%1").arg(*next));
}

// The number's transaction commits, and its answer is lost on the way back: the unit is not
// touched, and once the database is back the bench finds its unit on record and gives the number
// an outcome saying that nothing was written. The next unit gets the next number.
void tst_LineDatabase::commitWhoseAnswerWasLost() {
    Bench bench("bench-password");
    QVERIFY(ImageFile::write(bench.file("device.bin"), QByteArray(64, 0)).isEmpty());
    SimulatorProcess device({"--image", bench.file("device.bin")});
    CuttableProxy network(m_server.port());
    const std::optional<quint64> next = nextOf(m_server.as("tavrin_admin"), "line1");
    QVERIFY(next);
    // The take waits inside the server on a row another session holds, so the cut comes while
    // the question is asked and before the answer is given.
    QProcess holder;
    QVERIFY(holdRow(holder, "line1"));
    const QStringList write =
        lineWrite(device, bench, Server::through(network.port()), "answerless");
    QProcess first;
    bench.start(first, write);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.value("SELECT count(*) FROM pg_stat_activity WHERE "
                                             "usename = 'bench' AND wait_event_type = 'Lock'"),
                              "1", 20000);
    network.cut(CuttableProxy::Cut::AnswersOnly);
    QVERIFY(releaseRow(holder));
    QTRY_COMPARE_WITH_TIMEOUT(
        m_server.value("SELECT count(*) FROM tavrin.unit WHERE station = 'answerless'"), "1",
        20000);
    QCOMPARE(network.restore(), 1);
    QVERIFY(first.waitForFinished(30000));
    const QString err = QString::fromUtf8(first.readAllStandardError());

    QCOMPARE(first.exitCode(), 5);
    QVERIFY2(err.contains("broke during the call"), qPrintable(err));
    QVERIFY(device.events().filter("written").isEmpty());
    QCOMPARE(fileContents(bench.file("device.bin")), QByteArray(64, 0));

    QCOMPARE(bench.run(write), 0);

    QCOMPARE(fileContents(bench.file("spool.jsonl")), QByteArray());
    QCOMPARE(m_server.value("SELECT string_agg(stage || ':' || serial || ':' || result, ',' ORDER "
                            "BY id) FROM tavrin.unit WHERE station = 'answerless'"),
             QStringLiteral("started:%1:started,outcome:%1:refused,started:%2:started,"
                            "outcome:%2:done")
                 .arg(*next)
                 .arg(*next + 1));
    QVERIFY(m_server
                .value("SELECT problem FROM tavrin.unit WHERE station = 'answerless' AND "
                       "stage = 'outcome' AND result = 'refused'")
                .contains("nothing was written"));
}

QTEST_GUILESS_MAIN(tst_LineDatabase)
#include "tst_LineDatabase.moc"
